#!/usr/bin/env bash
# The main job on the bundled sample: installs the package, writes the sample archive, and binds
# Python to each of its tests in turn: for VIREO and TARN alike the summary, message log, markers
# (TARN: meta-markers and SEB command sequences too), the items of one subsystem, housekeeping
# values as CSV and a housekeeping trend plot (PNG); for TARN also its mass-spectrum scans, one
# spectrum plot and the TIC chromatogram (PNG files).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
PYTHON=${PYTHON:-python3}

echo "== pip install ."
"$PYTHON" -m pip install -q --disable-pip-version-check --root-user-action=ignore .

ARCHIVE=build/sample-archive
echo "== k814util sample $ARCHIVE"
"$PYTHON" -m k814util sample "$ARCHIVE"
INI="$ARCHIVE/.814config.INI"
for tm in "$ARCHIVE"/data/vireo/*/*.tlm; do
  echo
  echo "== k814util show $tm"
  "$PYTHON" -m k814util show "$tm" --ini "$INI"
  echo
  echo "== k814util items $tm HK:"
  "$PYTHON" -m k814util items "$tm" HK: --ini "$INI"
  echo
  echo "== k814util values $tm 10 HK:T_PRT --mode sci   (first rows)"
  "$PYTHON" -m k814util values "$tm" 10 HK:T_PRT --mode sci --ini "$INI" | head -6
  echo
  echo "== k814util limits $tm"
  "$PYTHON" -m k814util limits "$tm" --ini "$INI"
  echo
  echo "== k814util plot $tm HK:V_28 HK:T_PRT --png $ARCHIVE/vireo-hk.png"
  "$PYTHON" -m k814util plot "$tm" HK:V_28 HK:T_PRT --png "$ARCHIVE/vireo-hk.png" \
    --ini "$INI"
done
for tm in "$ARCHIVE"/data/tarn/*/*.tlm; do
  echo
  echo "== k814util show $tm"
  # The sample stream is damaged on purpose; the reader's diagnostics go to a file.
  "$PYTHON" -m k814util show "$tm" --ini "$INI" 2>"$ARCHIVE/tarn-reader.log"
  echo "(reader diagnostics for the damaged stream: $(wc -l <"$ARCHIVE/tarn-reader.log") lines in $ARCHIVE/tarn-reader.log)"
  echo
  echo "== k814util values $tm 21 --mode sci   (SEB:HV_MON, first rows)"
  "$PYTHON" -m k814util values "$tm" 21 --mode sci --ini "$INI" 2>>"$ARCHIVE/tarn-reader.log" | head -6
  echo
  echo "== k814util limits $tm"
  "$PYTHON" -m k814util limits "$tm" --ini "$INI" 2>>"$ARCHIVE/tarn-reader.log"
  echo
  echo "== k814util plot $tm SEB:EMON_A SEB:EMON_B SEB:HV_MON SEB:T_BOARD --png $ARCHIVE/tarn-hk.png"
  "$PYTHON" -m k814util plot "$tm" SEB:EMON_A SEB:EMON_B SEB:HV_MON SEB:T_BOARD \
    --png "$ARCHIVE/tarn-hk.png" --ini "$INI" 2>>"$ARCHIVE/tarn-reader.log"
  echo
  echo "== k814util scans $tm"
  "$PYTHON" -m k814util scans "$tm" --ini "$INI" 2>>"$ARCHIVE/tarn-reader.log"
  echo
  echo "== k814util spectrum $tm 9 --png $ARCHIVE/tarn-spectrum.png   (a summed scan)"
  "$PYTHON" -m k814util spectrum "$tm" 9 --png "$ARCHIVE/tarn-spectrum.png" --ini "$INI" \
    2>>"$ARCHIVE/tarn-reader.log"
  echo
  echo "== k814util tic $tm --png $ARCHIVE/tarn-tic.png"
  "$PYTHON" -m k814util tic "$tm" --png "$ARCHIVE/tarn-tic.png" --ini "$INI" 2>>"$ARCHIVE/tarn-reader.log"
done

RUNS=build/sample-archive-runs
echo
echo "== k814util sample $RUNS --runs 4   (four runs per mission, one of each with a problem)"
"$PYTHON" -m k814util sample "$RUNS" --runs 4 >/dev/null
echo
echo "== k814util archive list --ini $RUNS/.814config.INI"
"$PYTHON" -m k814util archive list --ini "$RUNS/.814config.INI"
echo
echo "== k814util archive extract SEB:HV_MON --out $RUNS/hv_mon.parquet --workers 2"
rm -rf "$RUNS/hv_mon.parquet"
# One run is damaged on purpose: the reader's diagnostics stay in the helpers' logs, and the
# command sums them in one line.
"$PYTHON" -m k814util archive extract SEB:HV_MON --ini "$RUNS/.814config.INI" \
  --out "$RUNS/hv_mon.parquet" --workers 2
"$PYTHON" - "$RUNS/hv_mon.parquet" <<'PY'
import sys

import pandas as pd

values = pd.read_parquet(sys.argv[1])
print(values.groupby(["tid", "test_name"])["value"].agg(["count", "min", "max"]).to_string())
PY
