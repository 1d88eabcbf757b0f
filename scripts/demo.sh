#!/usr/bin/env bash
# The main job on the bundled sample: installs the package, writes the sample archive, and binds
# Python to each of its tests in turn: for VIREO and TARN alike the summary, message log, markers
# (TARN: meta-markers and SEB command sequences too), the items of one subsystem, housekeeping
# values as CSV and a housekeeping trend plot (PNG); for TARN also its mass-spectrum scans, one
# spectrum plot and the TIC chromatogram (PNG files); then both tests open at once as runs, and
# an archive of several runs per mission on Dask.
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
  # The sample stream is damaged on purpose: the reader's lines about it are summed up in one
  # line on standard error (--verbose shows them; here they go to a file), with the rule files'
  # problems, which the sample plants too.
  "$PYTHON" -m k814util show "$tm" --ini "$INI"
  "$PYTHON" -m k814util summary "$tm" --ini "$INI" --verbose >/dev/null 2>"$ARCHIVE/tarn-reader.log"
  echo "(every diagnostic line of the binding, --verbose: $(wc -l <"$ARCHIVE/tarn-reader.log") lines in $ARCHIVE/tarn-reader.log)"
  echo
  echo "== k814util values $tm 21 --mode sci --marker 3   (SEB:HV_MON within marker 3, first rows)"
  "$PYTHON" -m k814util values "$tm" 21 --mode sci --marker 3 --ini "$INI" -q | head -6
  echo
  echo "== k814util limits $tm"
  "$PYTHON" -m k814util limits "$tm" --ini "$INI" 2>>"$ARCHIVE/tarn-reader.log"
  echo
  echo "== k814util plot $tm SEB:EMON_A SEB:EMON_B SEB:HV_MON SEB:T_BOARD --png $ARCHIVE/tarn-hk.png"
  "$PYTHON" -m k814util plot "$tm" SEB:EMON_A SEB:EMON_B SEB:HV_MON SEB:T_BOARD \
    --png "$ARCHIVE/tarn-hk.png" --ini "$INI" -q
  echo
  echo "== k814util scans $tm"
  "$PYTHON" -m k814util scans "$tm" --ini "$INI" -q
  echo
  echo "== k814util spectrum $tm 9 --png $ARCHIVE/tarn-spectrum.png   (a summed scan)"
  "$PYTHON" -m k814util spectrum "$tm" 9 --png "$ARCHIVE/tarn-spectrum.png" --ini "$INI" -q
  echo
  echo "== k814util tic $tm --png $ARCHIVE/tarn-tic.png"
  "$PYTHON" -m k814util tic "$tm" --png "$ARCHIVE/tarn-tic.png" --ini "$INI" -q
  echo
  echo "== k814util xic $tm 28 --tolerance 0.5 --png $ARCHIVE/tarn-xic.png"
  "$PYTHON" -m k814util xic "$tm" 28 --tolerance 0.5 --png "$ARCHIVE/tarn-xic.png" --ini "$INI" -q
  echo
  echo "== k814util spectrum $tm --average --marker 2 --kind summed --mode LDI --subtract-dark --peaks --png $ARCHIVE/tarn-average.png"
  "$PYTHON" -m k814util spectrum "$tm" --average --marker 2 --kind summed --mode LDI --subtract-dark \
    --peaks --png "$ARCHIVE/tarn-average.png" --ini "$INI" -q
  echo
  echo "== k814util export $tm SEB:EMON_A SEB:T_BOARD --netcdf $ARCHIVE/tarn-hk.nc --force"
  "$PYTHON" -m k814util export "$tm" SEB:EMON_A SEB:T_BOARD --netcdf "$ARCHIVE/tarn-hk.nc" --force \
    --ini "$INI" -q
  echo
  echo "== k814util export $tm --mzml $ARCHIVE/tarn.mzML --netcdf $ARCHIVE/tarn-spectra.nc --force"
  "$PYTHON" -m k814util export "$tm" --mzml "$ARCHIVE/tarn.mzML" --netcdf "$ARCHIVE/tarn-spectra.nc" \
    --force --ini "$INI" -q
done

echo
echo "== the quick-look server on the sample archive, for a moment: a page, a series, a screenshot"
"$PYTHON" scripts/web_screenshot.py "$ARCHIVE" "$ARCHIVE/web-run-page.png"

echo
echo "== both sample tests open at once, as runs (each bound in a worker process of its own)"
"$PYTHON" - "$INI" "$ARCHIVE"/data/vireo/*/*.tlm "$ARCHIVE"/data/tarn/*/*.tlm <<'PY'
import sys

import k814util

ini, vireo_file, tarn_file = sys.argv[1:]
with k814util.Run(vireo_file, ini=ini) as vireo, k814util.Run(tarn_file, ini=ini) as tarn:
    for run, item in ((vireo, "HK:V_28"), (tarn, "SEB:HV_MON")):
        s = run.series(item)
        print(
            f"{run.mission():<6} {item:<11} {len(s['value'])} values, "
            f"{s['value'].min():.3f} .. {s['value'].max():.3f}, first at {s['relative_time'][0]:.3f} s"
        )
PY

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
# One run is damaged on purpose: the reader's diagnostics stay with the runs' workers, and the
# command sums them in one line.
"$PYTHON" -m k814util archive extract SEB:HV_MON --ini "$RUNS/.814config.INI" \
  --out "$RUNS/hv_mon.parquet" --workers 2
"$PYTHON" - "$RUNS/hv_mon.parquet" <<'PY'
import sys

import pandas as pd

values = pd.read_parquet(sys.argv[1])
print(values.groupby(["tid", "test_name"])["value"].agg(["count", "min", "max"]).to_string())
PY

echo
echo "== scripts/docs.sh --no-doctest   (the documentation site, its tutorials run on the sample archive)"
scripts/docs.sh --no-doctest
