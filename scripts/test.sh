#!/usr/bin/env bash
# Builds everything with its tests and runs them all: GoogleTest suites, pytest, and the
# formatting checks, through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

BUILD=${K814_BUILD_DIR:-build/test}
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$BUILD" -G Ninja -DK814_BUILD_TESTS=ON >/dev/null
cmake --build "$BUILD" -j "$jobs"
ctest --test-dir "$BUILD" --output-on-failure -j "$jobs"
