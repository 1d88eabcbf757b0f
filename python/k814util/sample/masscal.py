"""Mass-calibration files of the sample archive.

The points of every entry lie exactly on a straight line or a parabola, so a reader that fits
them by least squares must reproduce the curve exactly; the stored constants are deliberately
stale (a reader must refit, not trust them)."""

from __future__ import annotations

import json

# phase cycle -> (fit order, curve coefficients c0, c1, c2, control values of the points)
TID_ENTRIES = {
    0: (1, (1.0, 0.05, 0.0), (100, 400, 900, 1500)),
    3: (2, (0.5, 0.04, 2.0e-6), (100, 300, 700, 1200, 1800)),
    5: (1, (2.0, 0.06, 0.0), (200, 1000)),
}

# The laboratory's older calibration, in the legacy tab-separated layout.
LAB_V1_POINTS = ((100, 6.0), (500, 26.0), (1000, 51.0))
LAB_V1_NAME = "tarn_fm_2011-12-01.mcal"

DEFAULT_MASSES = (1.008, 4.003, 12.0, 14.003, 15.995, 18.011, 28.006, 39.962, 43.990)


def curve(coefficients: tuple[float, float, float], x: float) -> float:
    c0, c1, c2 = coefficients
    return c0 + c1 * x + c2 * x * x


def tid_file_text() -> str:
    """A version-2 file with the entries of :data:`TID_ENTRIES`, no default (-1) entry."""
    entries = []
    for phase_cycle, (order, coefficients, controls) in TID_ENTRIES.items():
        entries.append(
            {
                "phase_cycle": phase_cycle,
                "order": order,
                "rms": 0.0,
                "constants": [0.0, 1.0, 0.0],
                "data_points": [{"control": x, "amu": curve(coefficients, x)} for x in controls],
            }
        )
    return json.dumps({"version": 2, "control_mode": 0, "entries": entries}, indent=2) + "\n"


def lab_v1_text() -> str:
    lines = ["date\toperator\tinstrument\tnote", *(f"{x}\t{y}" for x, y in LAB_V1_POINTS)]
    return "\n".join(lines) + "\n"


def default_masses_text() -> str:
    return "# default masses (amu) marked in spectra\n" + "".join(f"{m}\n" for m in DEFAULT_MASSES)


def manifest_entries() -> dict:
    return {
        str(pc): {"order": order, "coefficients": list(coefficients)}
        for pc, (order, coefficients, _) in TID_ENTRIES.items()
    }
