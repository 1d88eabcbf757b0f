# ---
# jupyter:
#   jupytext:
#     text_representation:
#       extension: .py
#       format_name: percent
#   kernelspec:
#     display_name: Python 3
#     language: python
#     name: python3
# ---

# %% [markdown]
# # Following a test as it is recorded
#
# While a test runs, the station appends packets to its telemetry file. A script, or a
# notebook, reads what was appended with `refresh()`: it returns the number of new packets
# and everything the file answers (series, markers, the message log) then includes them.
#
# Here the station is played by this notebook: it copies the sample's TARN test into a new
# TID directory, writes the first part of its telemetry file, and appends the rest in pieces,
# one of them ending inside a packet.

# %%
import os
import shutil
import tempfile
from pathlib import Path

import k814util

os.chdir(os.environ.get("K814_DOCS_SAMPLE", "."))
ini = "build/sample-archive/.814config.INI"
source = Path("build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/tarn_12345.tlm")

test = Path(tempfile.mkdtemp()) / source.parent.name  # the TID directory, as the station makes it
test.mkdir()
shutil.copy(source.parent / "tm.meta", test)
stream = source.read_bytes()
heads = k814util.read_packets(source, layout="tom")  # where each packet starts
print(len(heads["offset"]), "packets in", len(stream), "bytes")

# %% [markdown]
# ## The test so far
#
# The station has written 200 packets and half of the next one.

# %%
growing = test / source.name
cut = int(heads["offset"][200] + heads["length"][200] // 2)
growing.write_bytes(stream[:cut])

with k814util.capture_diagnostics():
    f = k814util.open(growing, ini=ini)
print(len(f), "packets;", len(f.series("SEB:HV_MON")["value"]), "values of SEB:HV_MON")
f.markers()[["marker_id", "relative_time", "text"]]

# %% [markdown]
# ## The station writes on
#
# Each piece is appended, then read with `refresh()`. A piece that ends inside a packet gives
# that packet only once the rest of it is there: the reader never reads into a packet still
# being written.


# %%
def station_appends(upto: int) -> None:
    with growing.open("ab") as out:
        out.write(stream[growing.stat().st_size : upto])


ends = [int(heads["offset"][i]) + 5 for i in (300, 450, 600)] + [len(stream)]
with k814util.capture_diagnostics():
    for upto in ends:
        station_appends(upto)
        new = f.refresh()
        hv = f.series("SEB:HV_MON")
        print(
            f"file {growing.stat().st_size:6} bytes: {new:3} new packets, {len(f)} in all; "
            f"HV_MON up to {hv['relative_time'][-1]:6.2f} s; {len(f.markers())} markers"
        )

# %% [markdown]
# Once the station has written all of it, the file reads exactly as the whole sample does:

# %%
whole = k814util.Run(source, ini=ini)
print(len(f), whole.packet_summary().packets)
whole.close()
f

# %% [markdown]
# In a notebook that watches a real test, the same loop runs on a timer: call `refresh()`
# every second or so and redraw when it returns more than 0. From the shell,
# `k814util follow FILE ITEM...` prints the new lines, markers and values as they come.
