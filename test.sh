#!/usr/bin/env bash
# The whole test set-up in one command, from any directory: installs what the
# tests need if it is missing (scripts/install-missing.sh), builds everything in
# Release in the repository's build/ folder and runs every test.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$root/build"
jobs="$(nproc)"

"$root/scripts/install-missing.sh" g++ cmake make libgtest-dev

# Tests ON explicitly: ./run.sh turns them off in the shared build folder on a
# machine without GoogleTest.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DRXC_BUILD_TESTS=ON
cmake --build "$build" -j "$jobs"
# --no-tests=error: a build that registered no test must not pass as green.
ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$jobs"
