"""Writes the seed corpora of the text-file fuzz targets from the sample archive: python3
fuzz/textseeds.py DIR writes the archive to DIR/archive (an archive already there is used as it
is) and one corpus per target to DIR/tmdb, DIR/tables and DIR/station. Each seed is the selector
byte of its reader followed by a file of the archive (the INI seed names the archive's paths, so
they exist while the target runs), plus a few hand-made files for what the archive does not show
(every JSON field type, a legacy calibration with a header only)."""

import json
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))

root = Path(sys.argv[1])
archive = root / "archive"
if not (archive / "manifest.json").exists():
    from k814util.sample import generate_archive

    generate_archive(archive)
tmdef = archive / "TMDef"
runs = sorted((archive / "data").glob("*/*/tm.meta"))

# A JSON patch with every element type, byte orders, arrays, bit fields, conversions, labels and
# limits.
json_patch = {
    "Packets": [
        {
            "packetName": "ALL_TYPES",
            "packetId": 5,
            "apid": 700,
            "gse": False,
            "fields": [
                {"fieldName": t, "type": t}
                for t in ["uint64_t", "double", "int64_t", "long", "uint32_t", "float", "int"]
            ]
            + [
                {"fieldName": "A", "type": "int16_t", "arrayLength": 4, "samplePeriod": 0.25},
                {"fieldName": "LE", "type": "uint16_t", "byteOrder": "12"},
                {
                    "fieldName": "BITS",
                    "type": "uint8_t",
                    "bitFields": [{"name": "X", "mask": "0x0F"}, {"name": "Y", "mask": 240}],
                },
                {
                    "fieldName": "V",
                    "type": "short",
                    "units": "counts",
                    "conversion": {
                        "units": "V",
                        "uncalToCalFunction": "polynomial",
                        "uncalToCalArgs": [0.5, 0.001],
                    },
                    "limits": {"yellow": [-1, 1], "red": [-2, 2]},
                    "discreteLabels": {"0": "OFF", "1": "ON"},
                },
                {
                    "fieldName": "T",
                    "type": "char",
                    "conversion": {"uncalToCalFunction": "LUT", "uncalToCalArgs": ["t.csv"]},
                },
            ],
        },
        {"packetName": "NO_FIELDS", "packetId": 6},
    ]
}

seeds = {
    "tmdb": [
        (0, tmdef / "tarn" / "TAR_TM_Database.txt"),
        (0, tmdef / "vireo" / "VIREO_TM_Database.txt"),
        (1, tmdef / "tarn" / "TAR_GSE_Packets.json"),
        (1, json.dumps(json_patch).encode()),
        (2, tmdef / "tarn" / "clocks.txt"),
        (2, tmdef / "vireo" / "clocks.txt"),
        (3, tmdef / "tarn" / "constants.json"),
        (3, tmdef / "vireo" / "constants.json"),
        (4, tmdef / "tarn" / "TAR_TM_Patch_FM.txt"),
    ],
    "tables": [
        (0, tmdef / "tarn" / "TAR_DAC_Conversions.txt"),
        (0, tmdef / "vireo" / "VIREO_DAC_Conversions.txt"),
        (1, tmdef / "tarn" / "tm_packet_types.txt"),
        (1, tmdef / "vireo" / "tm_packet_types.txt"),
        (2, tmdef / "tarn" / "lookupTables" / "tarn_rf_temp.csv"),
    ],
    "station": [(0, run) for run in runs]
    + [
        (1, archive / ".814config.INI"),
        (3, archive / "gse" / "tarn" / "mcal" / "default_masses.amu"),
        (2, b"date\toperator\tinstrument\tnote\n"),
    ]
    + [(2, p) for p in sorted(archive.glob("**/*.mcal"))]
    + [(4, p) for p in sorted((archive / "gse" / "tarn" / "MetaMarkerRules").glob("*.json"))],
}

for target, entries in seeds.items():
    out = root / target
    out.mkdir(parents=True, exist_ok=True)
    for n, (selector, source) in enumerate(entries):
        body = source if isinstance(source, bytes) else Path(source).read_bytes()
        (out / f"seed{n:02d}").write_bytes(bytes([selector]) + body)
