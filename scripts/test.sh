#!/usr/bin/env bash
# Builds everything with its tests and runs them all: GoogleTest suites, pytest, and the
# formatting checks, through ctest; then installs the package and runs its Python tests again
# against the installed copy.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

BUILD=${K814_BUILD_DIR:-build/test}
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$BUILD" -G Ninja -DK814_BUILD_TESTS=ON >/dev/null
cmake --build "$BUILD" -j "$jobs"
ctest --test-dir "$BUILD" --output-on-failure -j "$jobs"

# The package as users get it: pip install . builds the wheel, and the module's tests run
# against the installed copy (from outside the source tree, so nothing shadows it).
PYTHON=${PYTHON:-python3}
"$PYTHON" -m pip install -q --disable-pip-version-check --root-user-action=ignore .
top=$PWD
build_abs=$(cd "$BUILD" && pwd)
(cd "$build_abs" && K814_REQUIRE_MODULE=1 "$PYTHON" -m pytest -q -p no:cacheprovider \
  --basetemp="$build_abs/pytest-installed" "$top/python/tests/test_module.py" "$top/python/tests/test_tarn.py" \
  "$top/python/tests/test_cli.py" "$top/python/tests/test_console.py")
# The stubs against the installed module, as a type checker of a user's script meets them.
(cd "$build_abs" && MYPY_CACHE_DIR="$build_abs/mypy-cache-installed" "$PYTHON" -m mypy.stubtest \
  k814util.k814util --allowlist "$top/python/tests/stubtest_allowlist.txt" \
  --mypy-config-file "$top/python/tests/stubtest.ini")
