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
# # Housekeeping trends and limits across an archive
#
# One item's trend over every run of an archive, and every limit violation of every run, on
# Dask: each run is bound in a worker process of its own. The sample generator writes an
# archive of several runs per mission; the last TARN run has a stretch of its telemetry file
# overwritten and the last VIREO one a `tm.meta` cut short, as real archives do.

# %%
import os
import subprocess
import sys

import matplotlib.pyplot as plt
from k814util.archive import Archive

os.chdir(os.environ.get("K814_DOCS_SAMPLE", "."))
root = "build/sample-archive-runs"
if not os.path.isfile(f"{root}/manifest.json"):
    subprocess.run(
        [sys.executable, "-m", "k814util", "sample", root, "--runs", "4"],
        check=True,
        capture_output=True,
    )

# %% [markdown]
# ## The catalogue
#
# The archive finds the runs under the data roots of its configuration's mission groups. A run
# that cannot be bound says why in `error`, before any work is done.

# %%
archive = Archive(f"{root}/.814config.INI", workers=2)
runs = archive.catalogue()
runs[["mission", "tid", "test_name", "start_time", "size", "error"]]

# %%
archive

# %% [markdown]
# ## One item across the TARN runs
#
# `series` is a dask DataFrame with a partition per run: the run's columns and its values, in
# the long layout of `TMFile.dataframe`. Computing it starts the archive's local cluster (two
# workers here) and binds each run there. The damaged run still gives what can be read.

# %%
tarn = archive.catalogue(mission="tarn")
hv = archive.series(["SEB:HV_MON", "SEB:T_BOARD"], tarn).compute()
hv.groupby(["tid", "item"])["value"].agg(["count", "min", "max"])

# %%
fig, axes = plt.subplots(2, 1, figsize=(8, 5), sharex=True)
for ax, (item, values) in zip(axes, hv.groupby("item")):
    for tid, run in values.groupby("tid"):
        ax.plot(run["relative_time"], run["value"], lw=0.8, label=str(tid))
    ax.set_ylabel(f"{item} [{values['units'].iloc[0]}]")
axes[0].legend(title="TID", fontsize="small", ncol=4)
axes[-1].set_xlabel("seconds since each run's T0")
plt.show()

# %% [markdown]
# ## Limits in every run
#
# The limit table of one run, then every span in which a value left its limits, in every run
# (both missions), as one table: when, how long, how far.

# %%
archive.run(tarn.index[0]).limits()[["mnemonic", "units", "comparison_1", "yellow_1", "red_1"]]

# %%
violations = archive.limit_violations(runs).compute()
violations.groupby(["mission", "tid", "mnemonic", "level"]).size().unstack(fill_value=0)

# %%
red = violations[violations["level"] == "red"]
red[["tid", "mnemonic", "set", "start_relative", "end_relative", "samples", "worst", "open"]]

# %% [markdown]
# ## Anything else, per run
#
# `map` calls a function on each run's bound file in its worker and returns one result per row;
# a run that fails gives a `RunError` in its place instead of stopping the others.

# %%
packets = archive.map(lambda f: len(f), runs)
for (_, row), n in zip(runs.iterrows(), packets):
    print(f"{row['mission']:<6} {row['tid']}  {n!r}")

# %%
archive.close()  # ends the runs' workers and the local cluster
