#!/usr/bin/env bash
# The whole set-up for running rxc, from any directory: installs what the build
# needs if it is missing (scripts/install-missing.sh), builds the program in
# Release in the repository's build/ folder and starts it in the caller's
# directory, where it writes res.txt. Standard input goes to the program
# untouched (the set-up reads none of it), so a dialogue can be piped in; the
# set-up writes to standard error only, so standard output is the program's.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$root/build"

"$root/scripts/install-missing.sh" g++ cmake make </dev/null >&2

# The program needs no GoogleTest: configure the tests only where it is there
# (./test.sh installs it and turns them back on).
tests=OFF
"$root/scripts/install-missing.sh" --check libgtest-dev && tests=ON
mkdir -p "$build"
[ -x "$build/rxc" ] || echo "rxc: building in $build" >&2
log="$build/run-build.log"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DRXC_BUILD_TESTS="$tests" &&
       cmake --build "$build" --target rxc -j "$(nproc)"; } </dev/null >"$log" 2>&1; then
  cat "$log" >&2
  echo "rxc: the build failed (log above, also in $log)" >&2
  exit 1
fi

exec "$build/rxc"
