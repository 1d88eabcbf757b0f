#!/usr/bin/env bash
# Builds the documentation site into build/docs/html (every warning an error, the tutorials
# executed on the sample archive) and runs the docstrings' examples. It documents the package
# Python imports: the build tree's package when $K814_BUILD_DIR (default build/test) has one,
# else the installed package.
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON=${PYTHON:-python3}
BUILD=${K814_BUILD_DIR:-build/test}
if [ -e "$BUILD/python/k814util/_k814util.so" ] || compgen -G "$BUILD/python/k814util/_k814util*.so" >/dev/null; then
  export PYTHONPATH="$PWD/$BUILD/python${PYTHONPATH:+:$PYTHONPATH}"
  echo "docs: documenting the package of $BUILD/python"
elif ! (cd / && "$PYTHON" -c "import k814util.k814util") 2>/dev/null; then
  echo "docs: no built package in $BUILD/python and none installed: run scripts/test.sh or pip install . first" >&2
  exit 1
fi
"$PYTHON" docs/build.py build/docs "$@"
