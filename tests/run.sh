#!/usr/bin/env bash
# Installs what the tests need, builds the package and runs every test:
# the C++ unit tests (GoogleTest, through ctest) and the Python tests (pytest).
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

python3 -m pip install -q --disable-pip-version-check ".[test]"

jobs=$(nproc)
cmake -S . -B build/tests -DLUMO_BUILD_MODULE=OFF -DLUMO_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/tests -j"$jobs"
ctest --test-dir build/tests --output-on-failure

# Run from the tests folder so that the installed module, not the source tree, is imported.
python3 -m pytest -c pyproject.toml --rootdir . tests/python
