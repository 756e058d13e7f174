#!/usr/bin/env bash
# Installs what is missing, then runs every test: the C++ suite (ctest) and
# the Python suite (pytest: module, server over real HTTP, hook script run
# by node). Tests use temporary home directories, never your own.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install.sh

build_dir=$(dirname "$(ls -d build/*/CTestTestfile.cmake | head -n 1)")
echo "== C++ tests ($build_dir)"
ctest --test-dir "$build_dir" --output-on-failure -j2 --timeout 300

echo "== Python tests"
PY="${PYTHON:-python3}"
# The installed package is tested: python/ is not on the import path here.
"$PY" -m pytest -q -p no:cacheprovider
