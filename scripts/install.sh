#!/usr/bin/env bash
# Installs what is missing (Debian packages, then this package with its test
# extras) and builds the C++ test suite alongside the extension module.
# Safe to run again: present packages are skipped, the build is incremental.
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

debs=(g++ cmake ninja-build pkg-config libboost1.81-dev nlohmann-json3-dev libfmt-dev libspdlog-dev libgtest-dev)
missing=()
for p in "${debs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
command -v node >/dev/null 2>&1 || missing+=(nodejs)
command -v python3 >/dev/null 2>&1 || missing+=(python3 python3-pip python3-venv python3-dev)
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing Debian packages: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

PY="${PYTHON:-python3}"
# A Debian system interpreter refuses pip installs by default; this set-up
# is meant to install into whichever interpreter runs it.
export PIP_BREAK_SYSTEM_PACKAGES=1
"$PY" -m pip --version >/dev/null 2>&1 || { echo "pip is missing for $PY"; exit 1; }
"$PY" -c "import scikit_build_core" 2>/dev/null || "$PY" -m pip install -q "scikit-build-core>=0.10"

# One CMake build serves both the wheel and the C++ tests (build/<wheel tag>).
"$PY" -m pip install -q --no-build-isolation ".[test]" \
  -Ccmake.define.TAVRI_BUILD_TESTS=ON -Cbuild.verbose=false
