// A system library opened when it is first needed instead of when the
// program starts: loading libarchive and libcrypto (and what they pull in)
// costs every run several milliseconds, and most runs never use them.
//
// How to use:
//   SharedLibrary lib("libfoo.so.1");
//   decltype(&::foo_open) open = nullptr;
//   if (!lib.bind(open, "foo_open")) report lib.error();
#pragma once

#include <string>

namespace quorvane {

class SharedLibrary {
public:
    // Opens `soname` at once; a library is never closed again.
    explicit SharedLibrary(const char* soname);
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    // Why the library or the last symbol asked for could not be found.
    const std::string& error() const { return error_; }

    // Sets `function` to the library's `name`; false (and `function` null) when it has none.
    template <typename F>
    bool bind(F& function, const char* name) {
        function = reinterpret_cast<F>(symbol(name));
        return function != nullptr;
    }

private:
    void* symbol(const char* name);

    std::string soname_;
    void* handle_ = nullptr;
    std::string error_;
};

// For a table of a library's functions listed as X(name) X(name) ...: a
// member per function, typed as its header declares it, and the binding of
// each from `library` into `table` (a chain of && after a first condition).
// `name` is a function's and a member's name, never an expression to bracket.
// NOLINTNEXTLINE(bugprone-macro-parentheses)
#define QUORVANE_FUNCTION_POINTER(name) decltype(&::name) name = nullptr;
// NOLINTNEXTLINE(bugprone-macro-parentheses)
#define QUORVANE_BIND_FUNCTION(name) &&library.bind(table.name, #name)

}  // namespace quorvane
