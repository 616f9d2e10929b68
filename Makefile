# For people who have make; the scripts install what is missing first.
.PHONY: run test bench
run:
	scripts/run
test:
	scripts/test
bench:
	scripts/bench
