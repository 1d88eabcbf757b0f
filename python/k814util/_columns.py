"""The one conversion of the compiled module's whole-file results (column tables) into numpy
arrays: each numeric column becomes an array over the storage the compiled module filled (no
copy; the storage lives as long as the array); text columns come as object arrays of str."""

from __future__ import annotations

import numpy as np

from k814util import k814util as _k


def arrays(table: object) -> dict[str, np.ndarray]:
    """The columns of a column table (what the module's ``_frames_*``, ``_spectra`` and
    ``_read_packets`` return) by name, in the table's order."""
    out: dict[str, np.ndarray] = {}
    for (name, dtype, shape), data in zip(_k._columns_layout(table), _k._columns_data(table)):
        if dtype == "object":
            column = np.empty(len(data), dtype=object)
            column[:] = data
        else:
            column = np.frombuffer(data, dtype=dtype).reshape(shape)
        out[name] = column
    return out
