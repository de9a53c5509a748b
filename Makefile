# Shortcuts over run.sh and the CMake presets.
#   make          build (default preset)
#   make test     the whole test suite, plain and under the sanitizers
#   make bench    build the optimised benchmarks and print their table
#                 (BENCH_ARGS passes options, e.g. --benchmark_filter=Fill)

JOBS ?= 2
BENCH_ARGS ?=

.PHONY: all test bench

all:
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

test:
	./run.sh test

bench:
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS)
	./build/bench/bench/vantrel_bench --benchmark_counters_tabular=true $(BENCH_ARGS)
