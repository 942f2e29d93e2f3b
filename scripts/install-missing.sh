#!/usr/bin/env bash
# Installs those of the given Debian packages whose tools are missing, so that
# ./run.sh and ./test.sh work on a fresh machine:
#   scripts/install-missing.sh g++ cmake make libgtest-dev
# and what the other builds of CI need (clang-format, libbenchmark-dev, and
# for `make coverage` clang, llvm for llvm-cov, and gcovr).
# A package counts as present when what the build uses from it is there (the
# command, or the headers), however it got there, so a machine set up by other
# means is left alone. Prints nothing when everything is present. Installs
# through apt-get as root, or through sudo when it is available; otherwise
# prints one line naming the packages to install and exits with status 1.
# With --check first, installs nothing: the status says whether all are present.
set -euo pipefail

check_only=false
if [ "${1:-}" = --check ]; then
  check_only=true
  shift
fi

has_header() {
  [ -f "/usr/include/$1" ] || [ -f "/usr/local/include/$1" ]
}

present() {
  case "$1" in
    libgtest-dev) has_header gtest/gtest.h ;;
    libbenchmark-dev) has_header benchmark/benchmark.h ;;
    clang) command -v clang++ >/dev/null ;;
    llvm) command -v llvm-cov >/dev/null ;;
    *) command -v "$1" >/dev/null ;;
  esac
}

missing=()
for package in "$@"; do
  present "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
$check_only && exit 1

give_up() {
  echo "rxc: missing ${missing[*]}; install them first (Debian/Ubuntu, as root: apt-get install ${missing[*]})" >&2
  exit 1
}

if ! command -v apt-get >/dev/null; then
  give_up
elif [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null; then
  as_root=(sudo)
else
  give_up
fi

echo "rxc: installing ${missing[*]} with apt-get" >&2
# The package lists are fetched only now that something has to be installed;
# a fresh container has none at all.
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq </dev/null || give_up
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null || give_up
