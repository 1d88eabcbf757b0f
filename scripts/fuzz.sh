#!/usr/bin/env bash
# Fuzzes the telemetry reading loops, the SEB command splitter and field decoders, scan assembly
# and the readers of the hand-edited text files with libFuzzer under the address and
# undefined-behaviour sanitizers, each for a bounded time: scripts/fuzz.sh [SECONDS] (default 60
# each). The readers' own diagnostics (standard error) are silenced; sanitizer and crash reports
# are not.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_TO_RUN=${1:-60}
scripts/setup.sh
missing=()
for p in clang-14 libclang-rt-14-dev libfuzzer-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
BUILD=${K814_FUZZ_BUILD:-build/fuzz}  # another build directory: K814_FUZZ_BUILD=build/NAME
cmake -S . -B "$BUILD" -G Ninja -DK814_BUILD_TESTS=OFF -DK814_BUILD_BENCH=OFF -DK814_BUILD_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined" \
  >/dev/null
cmake --build "$BUILD" --target telemetry_fuzz seb_fuzz
corpus="$BUILD/corpus"
seb_corpus="$BUILD/seb-corpus"
python3 fuzz/seeds.py "$corpus" "$seb_corpus"
"$BUILD/fuzz/telemetry_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=4096 -print_final_stats=1 -close_fd_mask=2 \
  "$corpus"
"$BUILD/fuzz/seb_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=2048 -print_final_stats=1 "$seb_corpus"
# Scan assembly and the science data cache.
cmake --build "$BUILD" --target scan_fuzz
mkdir -p "$BUILD/scan-corpus"
"$BUILD/fuzz/scan_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=4096 -print_final_stats=1 "$BUILD/scan-corpus"
# The hand-edited text inputs, seeded from the sample archive: telemetry database files
# (text, JSON patches, clocks, constants), definition tables (DAC, packet types, lookup
# tables), and the files of a test run and a workstation (tm.meta, INI, mass calibration,
# default masses, meta-marker rules). The framework keeps caches (time zones, settings files)
# from run to run, so the leak check would scan the heap after every run and slow these targets
# threefold: it is off for them; the address and undefined-behaviour checks are not.
cmake --build "$BUILD" --target tmdb_fuzz tables_fuzz station_fuzz
text_corpus="$BUILD/text-corpus"
python3 fuzz/textseeds.py "$text_corpus"
for target in tmdb tables station; do
  max_len=4096
  [ "$target" = tmdb ] && max_len=16384
  "$BUILD/fuzz/${target}_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len="$max_len" -detect_leaks=0 \
    -dict="fuzz/$target.dict" -print_final_stats=1 -close_fd_mask=2 "$text_corpus/$target"
done
# The TARN custom decoders over arbitrary packets and rows; their out-of-bounds reports
# (standard output) and the engine's warnings are silenced.
cmake --build "$BUILD" --target decoder_fuzz
mkdir -p "$BUILD/decoder-corpus"
"$BUILD/fuzz/decoder_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=4096 -print_final_stats=1 -close_fd_mask=3 \
  "$BUILD/decoder-corpus"
