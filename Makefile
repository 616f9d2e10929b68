# For people who have make; the scripts install what is missing first.
.PHONY: run test bench demo crash-test tidy
run:
	scripts/run
test:
	scripts/test
bench:
	scripts/bench
demo:
	scripts/run demo
# clang-tidy with the checks of .clang-tidy over src/.
tidy:
	scripts/tidy
# Kills `quorvane fix` at every one of its file-system calls in turn (the
# normal test run tries 40 of them), each time running the fix again after;
# then `import`, `scan`, `delete-system` and `clean` at every call, each time
# opening the catalogue after (the normal run tries about 7 of each).
crash-test:
	cmake -S . -B build-crash -G Ninja -DQUORVANE_GUI=OFF >/dev/null
	ninja -C build-crash quorvane cli_tests
	QUORVANE_CRASH_POINTS=all build-crash/tests/cli/cli_tests --gtest_filter='CrashTest.*:CatalogueCrashTest.*'
