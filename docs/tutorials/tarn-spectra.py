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
# # A TARN run from file to spectra
#
# From a TARN telemetry file to its mass spectra: what the test was, its scans one by one and
# all at once as arrays, the total-ion and extracted-ion chromatograms, and a mean spectrum
# with its peaks. It runs on the sample archive (`python -m k814util sample
# build/sample-archive`), from the folder that holds `build/sample-archive`.

# %%
import os

import k814util
import matplotlib.pyplot as plt

os.chdir(os.environ.get("K814_DOCS_SAMPLE", "."))  # the folder that holds build/sample-archive
ini = "build/sample-archive/.814config.INI"
tm = "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/tarn_12345.tlm"

# %% [markdown]
# ## The test
#
# `open` binds the process to the file. The sample is damaged on purpose (garbage, a bad
# checksum, a packet cut short) and its rule files have a broken one: the reader's and the
# rules' lines are captured here rather than printed, and counted by kind.

# %%
with k814util.capture_diagnostics() as lines:
    f = k814util.open(tm, ini=ini)
print(len(lines), "diagnostic lines:", sorted({d.kind for d in lines}))
f

# %% [markdown]
# The markers the procedure wrote and the meta-markers its rule files derive give the test's
# chapters; the scans carry the marker they fall under.

# %%
f.markers()[["marker_id", "relative_time", "text"]]

# %%
f.meta_markers()

# %% [markdown]
# ## Scans one by one
#
# `k814util.scans` gives the scan objects: counts from bin 0, their m/z, totals, the scan's
# kind (single, summed or aggregated science packets) and mode.

# %%
scans = k814util.scans(tm, ini=ini)
for s in scans[:6]:
    print(
        f"{s.relative_timestamp():7.2f} s  {s.scan_mode_as_string():<5} {len(s.counts()):6} bins"
        f"  TIC {s.total_ion_count():>9}  marker {s.marker_id()}"
    )

# %% [markdown]
# ## Every scan at once
#
# `k814util.spectra` lays every scan out as numpy arrays, filled in C++: `flat_counts` and
# `flat_mz` hold each scan's bins one after another, `offsets` where each begins, and
# `table()` the per-scan figures.

# %%
sp = k814util.spectra(tm)  # the process is bound to tm already
sp

# %%
table = sp.table()
table["kind"] = sp.kinds()
table[["relative_time", "kind", "mode", "bins", "tic", "corrected_tic", "marker_id"]].head(8)

# %% [markdown]
# Scan `r`'s counts are `flat_counts[offsets[r]:offsets[r + 1]]`, the same as its scan object's
# `counts()`:

# %%
r = 9
mine = sp.flat_counts[sp.offsets[r] : sp.offsets[r + 1]]
print(mine[:8].tolist(), list(scans[r].counts())[:8], len(mine) == len(scans[r].counts()))

fig, ax = plt.subplots(figsize=(8, 3))
counts = sp.flat_counts[sp.offsets[r] : sp.offsets[r + 1]]
mz = sp.flat_mz[sp.offsets[r] : sp.offsets[r + 1]]
ax.plot(mz, counts, lw=0.8)
ax.set_xlabel("m/z")
ax.set_ylabel("counts")
ax.set_title(f"scan {r}: {table['kind'][r]} {table['mode'][r]}, marker {table['marker_id'][r]}")
plt.show()

# %% [markdown]
# ## Chromatograms
#
# The TIC chromatogram, one trace per kind and mode, and the extracted-ion chromatogram of
# m/z 28 (each scan's counts within 0.5 of it; NaN where a scan has no bin there).

# %%
tic = sp.tic(by=("kind", "mode"))
fig, (top, bottom) = plt.subplots(2, 1, figsize=(8, 5), sharex=True)
for (kind, mode), trace in tic.groupby(["kind", "mode"]):
    top.plot(trace["relative_time"], trace["tic"], "o-", ms=3, label=f"{kind} {mode}")
top.set_ylabel("TIC")
top.legend(fontsize="small", ncol=3)
bottom.plot(table["relative_time"], sp.xic(28.0, 0.5), "o", ms=3)
bottom.set_ylabel("counts at m/z 28")
bottom.set_xlabel("seconds since T0")
plt.show()

# %% [markdown]
# ## A mean spectrum and its peaks
#
# `average` puts a window's scans on one m/z grid and takes their mean; with
# `subtract_dark` (the default) the mean of the window's dark scans is subtracted. Here: the
# summed scans under marker 2. `peaks` finds the peaks of the result.

# %%
avg = sp.average(window=2, kind="summed")
peaks = sp.peaks(avg)
fig, ax = plt.subplots(figsize=(8, 3))
ax.plot(avg.mz, avg.counts, lw=0.8)
ax.plot(peaks["apex_mz"], peaks["height"], "v", color="C3")
ax.set_xlabel("m/z")
ax.set_ylabel("mean counts, dark subtracted")
plt.show()
peaks.head()
