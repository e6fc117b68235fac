#!/usr/bin/env bash
# Set-up, build and every test. Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default
cmake --build --preset default
ctest --preset default
