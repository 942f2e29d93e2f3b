# Thin wrapper over CMake for those who have the tools (./run.sh and ./test.sh
# install what is missing first). `make run` builds and starts the program in
# the current directory (the report res.txt is written here); `make test`
# builds and runs every test; `make bench` builds and runs the enumeration
# benchmarks (`make bench-build` only builds them); `make sanitize` runs the
# tests under AddressSanitizer and UndefinedBehaviorSanitizer, `make tsan` the
# whole sessions with several workers under ThreadSanitizer; `make coverage`
# runs the tests built with clang and coverage counters and checks the line
# coverage of each layer against its floor; `make install` puts rxc in
# $(PREFIX)/bin (the build's CMAKE_INSTALL_PREFIX, /usr/local by default, when
# PREFIX is not given), under $(DESTDIR) if set.
BUILD ?= build
JOBS ?= $(shell nproc)
PREFIX ?=
DESTDIR ?=
# More CMake options for the benchmarks' build folder, read when it is first
# configured (CI builds them as a unity build, which only checks that they
# compile).
BENCH_CMAKE_FLAGS ?=

.PHONY: check-headers build run test bench bench-build sanitize tsan coverage install format-check clean

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
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DRXC_BUILD_TESTS=OFF -DRXC_BUILD_BENCHMARKS=ON \
	  $(BENCH_CMAKE_FLAGS)
	cmake --build $(BUILD)-bench -j $(JOBS) --target rxc_bench

# The sanitizer builds compile a few files at a time as one (unity): they look
# for faults at run time, and the Release and clang builds, file by file,
# already catch a missing include. It halves their compile time.
sanitize:
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRXC_SANITIZE=ON \
	  -DCMAKE_UNITY_BUILD=ON
	cmake --build $(BUILD)-asan -j $(JOBS)
	ctest --test-dir $(BUILD)-asan --output-on-failure --no-tests=error -j $(JOBS)

# The whole sessions with 2 and 7 workers under ThreadSanitizer.
tsan:
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRXC_THREAD_SANITIZE=ON \
	  -DCMAKE_UNITY_BUILD=ON
	cmake --build $(BUILD)-tsan -j $(JOBS)
	ctest --test-dir $(BUILD)-tsan --output-on-failure --no-tests=error -j $(JOBS) \
	  -R '^(Workers|workers[27])[.]'

# Every test, built with coverage counters (by clang, a second compiler beside
# the other builds' gcc), then the line coverage of each layer of src/ and the
# floors of the engine's and the whole's (scripts/coverage.py). The counters
# of earlier runs are removed first, so the figures are this run's. Left out:
# ThreadLimit, which as root runs the program as the user nobody, who cannot
# write the counters into the build folder (the complaint on standard error
# fails the test); the other builds run it. (gcc's counters would fail more:
# its runtime also complains where a test limits the size of the files.)
coverage:
	cmake -S . -B $(BUILD)-coverage -DCMAKE_BUILD_TYPE=Release -DRXC_COVERAGE=ON \
	  -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(BUILD)-coverage -j $(JOBS)
	find $(BUILD)-coverage -name '*.gcda' -delete
	ctest --test-dir $(BUILD)-coverage --output-on-failure --no-tests=error -j $(JOBS) \
	  -E '^ThreadLimit[.]'
	scripts/coverage.py $(BUILD)-coverage

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) $(if $(PREFIX),--prefix "$(PREFIX)")

# Every header of src compiled on its own, with only the include folders of
# the layers its own may use.
check-headers:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	scripts/check-headers.sh $(BUILD)

# Every C++ file as clang-format would lay it out (.clang-format).
format-check:
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-bench $(BUILD)-coverage
