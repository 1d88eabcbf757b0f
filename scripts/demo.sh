#!/usr/bin/env bash
# The main job on the bundled sample: installs the package, writes the sample archive, binds a
# Python session to the VIREO test and prints its metadata, message log and test markers; the
# TARN test's metadata and verified configuration follow.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
PYTHON=${PYTHON:-python3}

echo "== pip install ."
"$PYTHON" -m pip install -q --disable-pip-version-check --root-user-action=ignore .

ARCHIVE=build/sample-archive
echo "== k814util sample $ARCHIVE"
"$PYTHON" -m k814util sample "$ARCHIVE"
for tm in "$ARCHIVE"/data/vireo/*/*.tlm; do
  echo
  echo "== k814util show $tm"
  "$PYTHON" -m k814util show "$tm" --ini "$ARCHIVE/.814config.INI"
done
for tm in "$ARCHIVE"/data/tarn/*/*.tlm; do
  echo
  echo "== k814util info $tm"
  "$PYTHON" -m k814util info "$tm" --ini "$ARCHIVE/.814config.INI"
done
