# quorvane_warnings(TARGET...)
# Our own code builds with these warnings (errors under QUORVANE_WERROR);
# they are set per target so that nothing we do not own inherits them.
# Rows are built with designated initialisers that name only the fields they
# set, so a missing initialiser is intended, not a slip.
function(quorvane_warnings)
  foreach(target ${ARGN})
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor
                                             -Wno-missing-field-initializers
                                             $<$<BOOL:${QUORVANE_WERROR}>:-Werror>)
  endforeach()
endfunction()

# quorvane_module(NAME SOURCES... [DEPS targets...])
# One static library per engine subsystem, so a subsystem's tests build
# without the others and layering mistakes show up as link errors.
function(quorvane_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(quorvane_${name} STATIC ${ARG_SOURCES})
  target_include_directories(quorvane_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(quorvane_${name} PUBLIC ${ARG_DEPS} Threads::Threads)
  quorvane_warnings(quorvane_${name})
endfunction()

# quorvane_test(NAME [SERIAL] SOURCES... [DEPS targets...])
# SERIAL: its tests run alone, never beside another test.
function(quorvane_test name)
  cmake_parse_arguments(ARG "SERIAL" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} quorvane_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    QUORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUORVANE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  quorvane_warnings(${name})
  set(serial FALSE)
  if(ARG_SERIAL)
    set(serial TRUE)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 900 LABELS ${name} RUN_SERIAL ${serial})
endfunction()
