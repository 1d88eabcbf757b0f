#!/usr/bin/env bash
# Builds the documentation site into build/docs/html (every warning an error, the tutorials
# executed on the sample archive) and runs the docstrings' examples; extra arguments go to
# docs/build.py (--no-doctest: the site only). It documents the package Python imports: the
# build tree's (build/test, or $K814_BUILD_DIR when set) when asked for or when none is
# installed, else the installed one.
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON=${PYTHON:-python3}
installed() { (cd / && "$PYTHON" -c "import k814util.k814util") 2>/dev/null; }
built() { compgen -G "$1/python/k814util/_k814util*.so" >/dev/null; }
if [ -n "${K814_BUILD_DIR:-}" ] || ! installed; then
  BUILD=${K814_BUILD_DIR:-build/test}
  if ! built "$BUILD"; then
    echo "docs: no package built in $BUILD/python and none installed: run scripts/test.sh or pip install . first" >&2
    exit 1
  fi
  export PYTHONPATH="$PWD/$BUILD/python${PYTHONPATH:+:$PYTHONPATH}"
  echo "docs: documenting the package built in $BUILD/python"
else
  echo "docs: documenting the installed package"
fi
"$PYTHON" docs/build.py build/docs "$@"
