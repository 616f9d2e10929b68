# For people who have make; the scripts install what is missing first.
.PHONY: run test bench demo
run:
	scripts/run
test:
	scripts/test
bench:
	scripts/bench
demo:
	scripts/run demo
