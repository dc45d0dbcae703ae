#!/usr/bin/env bash
# Installs what the tests need, builds the package and runs every test: the
# C++ unit tests (GoogleTest, through ctest) in a release build and under
# sanitizers, the fuzz targets for a short while, and the Python tests (pytest).
# Python packages go into the virtual environment .venv of the checkout
# (created when missing), at the versions of tests/constraints.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

started=$SECONDS
stage() { printf '\n=== %s (%ds)\n' "$1" $((SECONDS - started)); }
trap 'printf "\n=== total time %ds\n" $((SECONDS - started))' EXIT

stage "build"
missing=()
command -v g++ >/dev/null || missing+=(g++)
command -v cmake >/dev/null || missing+=(cmake)
# Debian's Python creates virtual environments and builds extensions only
# with these two packages.
python3 -c "import ensurepip" 2>/dev/null || missing+=(python3-venv)
python3 -c "import os, sysconfig; assert os.path.exists(sysconfig.get_path('include') + '/Python.h')" \
  2>/dev/null || missing+=(python3-dev)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
# The fuzz stage needs clang and its libFuzzer runtime.
command -v clang++ >/dev/null || missing+=(clang)
compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null || missing+=(libclang-rt-14-dev)
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

[ -x .venv/bin/python ] || python3 -m venv .venv
.venv/bin/python -m pip install -q --disable-pip-version-check -c tests/constraints.txt ".[test]"

jobs=$(nproc)
# The build trees are the presets of CMakePresets.json.
cmake --preset release >/dev/null
cmake --build --preset release -j"$jobs"
stage "unit tests"
ctest --preset release


# The C++ unit tests again, and the fuzz targets, in one clang build under
# AddressSanitizer and UndefinedBehaviorSanitizer: a leak, an invalid access or
# undefined behaviour fails the run.
stage "sanitizers"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j"$jobs"
ctest --preset sanitize

# Threads sharing one engine under ThreadSanitizer; any race report fails the run.
stage "ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$jobs"
TSAN_OPTIONS=halt_on_error=1 build/tsan/concurrency_tests

# Every fuzz target for a short while, from the build above (longer runs:
# scripts/fuzz.sh <seconds>).
stage "fuzz"
LUMO_FUZZ_BUILD=build/sanitize scripts/fuzz.sh "${LUMO_FUZZ_SECONDS:-10}"

# The Python tests last, against the installed package (the source tree holds no
# importable module), so that their summary closes the run.
stage "Python tests"
.venv/bin/python -m pytest -c pyproject.toml --rootdir . tests/python
