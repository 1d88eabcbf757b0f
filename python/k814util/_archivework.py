"""The work an archive does on each of its runs, in the run's own worker process: binding it
and calling a function on it, the per-run jobs of the data frames (values of items, the scan
table), and the partitions that hand them out. :mod:`k814util.archive` puts them to work.
"""

from __future__ import annotations

import os
import pickle
import re
import threading
import traceback
import warnings
from collections.abc import Callable
from typing import TYPE_CHECKING

import numpy as np

from k814util import k814util as _k
from k814util.runs import Run

if TYPE_CHECKING:
    import pandas as pd

#: The columns that say which run a row of :meth:`Archive.series` or :meth:`Archive.scans`
#: comes from.
RUN_COLUMNS = ("mission", "group", "tid", "test_name")

# A TID directory: local start date and time, the 5-digit test ID, the test name.
TID_DIR = re.compile(r"^(\d{4}-\d\d-\d\d-\d\d\.\d\d\.\d\d)-(\d{5})-(.+)$")


class RunError(Exception):
    """A test run that could not be bound or whose work failed.

    Parameters
    ----------
    run : str
        The run's name (its TID directory).
    message : str
        Why: for an exception, its type and text ("KeyError: 'x'").
    telemetry_file : str, optional
        The run's telemetry file.
    traceback : str, optional
        The text of the traceback where it was raised (empty for a run whose catalogue row
        already says why it cannot be bound).

    Attributes
    ----------
    run, message, telemetry_file, traceback : str
        As given.

    Examples
    --------
    >>> from k814util.archive import RunError
    >>> str(RunError("2012-04-02-12.35.42-12345-tarn_sample", "KeyError: 'x'"))
    "2012-04-02-12.35.42-12345-tarn_sample: KeyError: 'x'"
    """

    def __init__(self, run: str, message: str, telemetry_file: str = "", traceback: str = ""):
        super().__init__(f"{run}: {message}")
        self.run = run
        self.message = message
        self.telemetry_file = telemetry_file
        self.traceback = traceback

    def __reduce__(self):
        return (RunError, (self.run, self.message, self.telemetry_file, self.traceback))

    def __eq__(self, other: object) -> bool:
        return isinstance(other, RunError) and self.__reduce__() == other.__reduce__()

    def __hash__(self) -> int:
        return hash(self.__reduce__()[1])


def _pandas():
    try:
        import pandas as pd
    except ImportError:  # pragma: no cover - depends on the installation
        raise ImportError(
            "k814util.archive needs pandas: pip install 'k814util[analysis]'"
        ) from None
    return pd


def _run_name(telemetry_file: str) -> str:
    """The TID directory a run's telemetry file lies in (or the directory itself)."""
    parent, name = os.path.split(telemetry_file.rstrip(os.sep))
    return name if TID_DIR.match(name) else os.path.basename(parent)


# Binding, in whichever process does the work -----------------------------------------------
#
# The work on a run happens in the run's own worker process (k814util.runs), started by the
# process that does the work and reused for later work on the run: so the compiled module runs
# on the one thread that loaded it (a Dask worker runs tasks on a thread of its pool, and
# unpickles them on another), a worker binds runs of one mission only, and the caller's own
# binding stays untouched.

# The runs this process has worked on, by file and configuration; their workers are the run
# pool's, which keeps only a few alive.
_RUNS: dict[tuple[str, str], Run] = {}
_RUNS_LOCK = threading.Lock()


# Where the runs' reader diagnostics are counted (an event topic of the cluster's scheduler).
DIAGNOSTICS_TOPIC = "k814util-archive-diagnostics"


def _message(exc: BaseException) -> str:
    """The exception's type and text, as a traceback's last line says it."""
    return traceback.format_exception_only(type(exc), exc)[-1].strip()


def _on_worker():
    """The Dask worker running this task, or None outside one."""
    from distributed import get_worker

    try:
        return get_worker()
    except ValueError:
        return None


def _run_for(path: str, ini: str) -> Run:
    key = (os.path.abspath(path), ini)
    with _RUNS_LOCK:
        run = _RUNS.get(key)
        if run is None:
            run = _RUNS[key] = Run(path, ini)
        return run


def _work(func: Callable, path: str, mission: str, ini: str, run: str):
    """func(TMFile of the run) in the run's worker process. A failure is returned as a
    :class:`RunError`, never raised, so one bad run leaves the others be. The diagnostics of
    the run's binding (the reader's lines about a damaged file) stay in the worker; their number
    is counted on the cluster's scheduler, not printed: the count is the run's, however often
    its binding was asked."""
    lines = 0
    try:
        bound = _run_for(path, ini)
        result = bound.apply(func)
        lines = bound.diagnostics_count()
    except Exception as exc:
        cause = exc.__cause__
        text = getattr(cause, "text", "") or traceback.format_exc()
        result = RunError(run, _message(exc), path, text)
    worker = _on_worker()
    if worker is not None:
        worker.log_event(DIAGNOSTICS_TOPIC, {"run": run, "lines": lines})
    return result


def _close_helpers() -> int:
    """Ends the worker processes of this process's runs (once their current call is
    answered); how many."""
    from k814util.runs import default_pool

    with _RUNS_LOCK:
        _RUNS.clear()
    return default_pool().close()


# Work done on each run for the data frames ------------------------------------------------


def _run_columns(pd, row: dict, n: int) -> dict:
    return {
        "mission": np.full(n, row["mission"], dtype=object),
        "group": np.full(n, row["group"], dtype=object),
        "tid": np.full(n, row["tid"], dtype=np.int64),
        "test_name": np.full(n, row["test_name"], dtype=object),
    }


#: The names of the modes, by number: the series' ``mode`` column.
_MODE_NAMES = ("raw", "eng", "sci")


def _series_meta(pd) -> pd.DataFrame:
    frame = pd.DataFrame(
        {
            **_run_columns(pd, {"mission": "", "group": "", "tid": 0, "test_name": ""}, 0),
            "item": np.empty(0, dtype=object),
            "value": np.empty(0, dtype=np.float64),
            "mode": np.empty(0, dtype=object),
            "units": np.empty(0, dtype=object),
            "relative_time": np.empty(0, dtype=np.float64),
            "packet": np.empty(0, dtype=np.int64),
            "sample": np.empty(0, dtype=np.int64),
        }
    )
    # The index of TMFile.dataframe: UTC, to the microsecond.
    frame.index = pd.DatetimeIndex([], dtype="datetime64[us, UTC]", name="time")
    return frame


class _ItemCheck:
    """For each item, None when the run's database holds it, else the message of the
    unknown-item error (with the close matches)."""

    def __init__(self, items: list):
        self.items = items

    def __call__(self, tmfile) -> dict:
        from k814util.catalogue import ItemCatalogue, UnknownItemError

        catalogue = ItemCatalogue()
        found = {}
        for item in self.items:
            try:
                catalogue.resolve(item)
                found[item] = None
            except UnknownItemError as exc:
                found[item] = str(exc)
        return found


class _SeriesJob:
    """The items of one run in the long layout of ``TMFile.dataframe``; items the run's
    database does not hold give no rows."""

    def __init__(self, items: list, mode: int | str, row: dict):
        self.items, self.mode, self.row = items, mode, row

    @staticmethod
    def empty() -> pd.DataFrame:
        return _series_meta(_pandas())

    def __call__(self, tmfile) -> pd.DataFrame:
        import pandas as pd

        from k814util.catalogue import ItemCatalogue, UnknownItemError, parse_mode

        catalogue = ItemCatalogue()
        mode = parse_mode(self.mode)
        known, units = [], {}
        for item in self.items:
            try:
                hkid, name = catalogue.resolve(item)
            except UnknownItemError:
                continue
            known.append(item)
            units[name] = catalogue.by_id[hkid][5 + mode] or ""
        if not known:
            return _series_meta(pd)
        long = tmfile.dataframe(known, mode, layout="long")
        if long["value"].dtype.kind != "f":
            texts = sorted(set(long["item"][long["value"].map(lambda v: isinstance(v, str))]))
            raise TypeError(
                f"text items {texts} do not fit the numeric value column; read them with "
                "Archive.map and TMFile.series"
            )
        frame = pd.DataFrame(
            {
                **_run_columns(pd, self.row, len(long)),
                "item": long["item"].astype(str).to_numpy(dtype=object),
                "value": long["value"].to_numpy(dtype=np.float64),
                "mode": np.full(len(long), _MODE_NAMES[mode], dtype=object),
                "units": long["item"].map(units).astype(str).to_numpy(dtype=object),
                "relative_time": long["relative_time"].to_numpy(),
                "packet": long["packet"].to_numpy(dtype=np.int64),
                "sample": long["sample"].to_numpy(dtype=np.int64),
            },
            index=long.index,
        )
        return frame


def _scans_meta(pd) -> pd.DataFrame:
    from k814util.spectra import empty_table_columns

    # The table of no scans has the columns and kinds of every run's.
    columns = _run_columns(pd, {"mission": "", "group": "", "tid": 0, "test_name": ""}, 0)
    columns.update(empty_table_columns())
    return pd.DataFrame(columns)


class _ScansJob:
    """The per-scan figures of one TARN run (``Spectra.table()`` without the arrays), with
    mode and ion source as text."""

    def __init__(self, row: dict):
        self.row = row

    @staticmethod
    def empty() -> pd.DataFrame:
        return _scans_meta(_pandas())

    def __call__(self, tmfile) -> pd.DataFrame:
        import pandas as pd

        from k814util.spectra import table_columns

        columns = table_columns(_k.ScienceDataCacheWrapper(False, False))
        return pd.DataFrame({**_run_columns(pd, self.row, len(columns["scan"])), **columns})


def _limits_meta(pd) -> pd.DataFrame:
    from k814util.limits import empty_violations

    # The report of no spans has the columns and kinds of every run's.
    columns = _run_columns(pd, {"mission": "", "group": "", "tid": 0, "test_name": ""}, 0)
    return pd.concat([pd.DataFrame(columns), empty_violations()], axis=1)


class _LimitsJob:
    """The limit-violation spans of one run (``TMFile.limit_violations``); items the run's
    database does not hold give no rows."""

    def __init__(self, items: list | None, level: str, row: dict):
        self.items, self.level, self.row = items, level, row

    @staticmethod
    def empty() -> pd.DataFrame:
        return _limits_meta(_pandas())

    def __call__(self, tmfile) -> pd.DataFrame:
        import pandas as pd

        from k814util.catalogue import ItemCatalogue, UnknownItemError

        items = self.items
        if items is not None:
            catalogue = ItemCatalogue()
            known = []
            for item in items:
                try:
                    known.append(catalogue.resolve(item)[0])
                except UnknownItemError:
                    continue
            if not known:
                return _limits_meta(pd)
            items = known
        spans = tmfile.limit_violations(items, self.level)
        run = pd.DataFrame(_run_columns(pd, self.row, len(spans)))
        return pd.concat([run, spans.reset_index(drop=True)], axis=1)


class RunWarning(UserWarning):
    """A run left out of a data frame because its work failed (``errors="skip"``).

    Examples
    --------
    >>> from k814util.archive import RunWarning
    >>> issubclass(RunWarning, UserWarning)
    True
    """


def _submit(client, func, row: dict, ini: str):
    path = row["telemetry_file"]
    return client.submit(_work, func, path, row["mission"], ini, _run_name(path), pure=False)


class _Batch:
    """The runs of one data frame and the client that binds them. Computed in the caller's
    process (dask's local scheduler), a partition asks its batch for its run, which sends the
    next runs ahead to the client so that the whole cluster works while the partitions are
    taken in order; computed on a cluster's worker, a partition binds its run there (the batch
    does not travel)."""

    def __init__(self, client, jobs: list, ini: str):
        self.client, self.jobs, self.ini = client, jobs, ini
        self.ahead = max(2, 2 * sum(client.nthreads().values()))
        self.futures: dict = {}
        self.lock = threading.Lock()

    def __reduce__(self):
        return (_no_batch, ())

    def result(self, index: int):
        with self.lock:
            for k in range(index, min(index + self.ahead, len(self.jobs))):
                if k not in self.futures:
                    job, row = self.jobs[k]
                    self.futures[k] = _submit(self.client, job, row, self.ini)
            future = self.futures.pop(index)
        try:
            return future.result()
        except Exception as exc:  # the worker itself was lost
            path = self.jobs[index][1]["telemetry_file"]
            return RunError(_run_name(path), _message(exc), path, traceback.format_exc())
        finally:
            future.release()


def _no_batch() -> None:
    return None


def _warn(warning: Warning) -> None:
    """A warning for the caller: on a worker, the clients of its cluster show it (as dask's
    own forwarding does, without the worker's copy on its standard error)."""
    worker = _on_worker()
    if worker is None:
        warnings.warn(warning, stacklevel=2)
    else:
        worker.log_event(
            "warn", {"message": pickle.dumps(warning), "category": pickle.dumps(type(warning))}
        )


def _partition(job, row: dict, ini: str, batch: _Batch | None, index: int, errors: str):
    if batch is not None and _on_worker() is None:
        result = batch.result(index)
    else:
        path = row["telemetry_file"]
        result = _work(job, path, row["mission"], ini, _run_name(path))
    if isinstance(result, RunError):
        if errors == "raise":
            raise result
        _warn(RunWarning(f"left out {result.run}: {result.message}"))
        return job.empty()
    return result


def _check_errors(errors: str) -> None:
    if errors not in ("skip", "raise"):
        raise ValueError(f"errors must be 'skip' or 'raise', not {errors!r}")


def _run_row(row: dict) -> dict:
    return {name: row[name] for name in RUN_COLUMNS}
