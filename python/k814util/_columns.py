"""The one conversion of the compiled module's whole-file results (column tables) into numpy
arrays: each numeric column is allocated once here and filled once by the compiled module (its
only copy); text columns come as object arrays of str."""

from __future__ import annotations

import numpy as np

from k814util import k814util as _k


def arrays(table: object) -> dict[str, np.ndarray]:
    """The columns of a column table (what the module's ``_frames_*``, ``_spectra`` and
    ``_read_packets`` return) by name, in the table's order."""
    layout = _k._columns_layout(table)
    empty = [None if dtype == "object" else np.empty(shape, dtype) for _, dtype, shape in layout]
    filled = _k._columns_fill(table, empty)
    out: dict[str, np.ndarray] = {}
    for (name, dtype, _), values in zip(layout, filled):
        if dtype == "object":
            column = np.empty(len(values), dtype=object)
            column[:] = values
            values = column
        out[name] = values
    return out
