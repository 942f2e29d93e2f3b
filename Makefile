# Thin wrapper over CMake. `make run` builds and starts the program in the
# current directory (the report res.txt is written here); `make test` builds
# and runs every test; `make bench` runs the enumeration benchmarks.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: build run test bench sanitize clean

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/rxc

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: build
	./$(BUILD)/rxc_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

sanitize:
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRXC_SANITIZE=ON
	cmake --build $(BUILD)-asan -j $(JOBS) --target all
	ctest --test-dir $(BUILD)-asan --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD)-asan
