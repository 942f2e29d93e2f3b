# Thin wrapper over CMake for those who have the tools (./run.sh and ./test.sh
# install what is missing first). `make run` builds and starts the program in
# the current directory (the report res.txt is written here); `make test`
# builds and runs every test; `make bench` builds and runs the enumeration
# benchmarks (`make bench-build` only builds them); `make sanitize` runs the
# tests under AddressSanitizer and UndefinedBehaviorSanitizer, `make tsan` the
# whole sessions with several workers under ThreadSanitizer; `make install`
# puts rxc in $(PREFIX)/bin (the build's CMAKE_INSTALL_PREFIX, /usr/local by
# default, when PREFIX is not given), under $(DESTDIR) if set.
BUILD ?= build
JOBS ?= $(shell nproc)
PREFIX ?=
DESTDIR ?=

.PHONY: build run test bench bench-build sanitize tsan install format-check clean

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DRXC_BUILD_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/rxc

test: build
	ctest --test-dir $(BUILD) --output-on-failure --no-tests=error -j $(JOBS)

bench: bench-build
	./$(BUILD)-bench/rxc_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

bench-build:
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DRXC_BUILD_TESTS=OFF -DRXC_BUILD_BENCHMARKS=ON
	cmake --build $(BUILD)-bench -j $(JOBS) --target rxc_bench

sanitize:
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRXC_SANITIZE=ON
	cmake --build $(BUILD)-asan -j $(JOBS)
	ctest --test-dir $(BUILD)-asan --output-on-failure --no-tests=error -j $(JOBS)

# The whole sessions with 2 and 7 workers under ThreadSanitizer.
tsan:
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRXC_THREAD_SANITIZE=ON
	cmake --build $(BUILD)-tsan -j $(JOBS)
	ctest --test-dir $(BUILD)-tsan --output-on-failure --no-tests=error -j $(JOBS) \
	  -R '^(Workers|workers[27])[.]'


install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) $(if $(PREFIX),--prefix "$(PREFIX)")

# Every C++ file as clang-format would lay it out (.clang-format).
format-check:
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-bench
