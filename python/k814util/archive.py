"""Whole archives: every test run the workstation configuration knows, and work over many runs
on a Dask cluster.

::

    from k814util.archive import Archive

    archive = Archive()                        # the configuration binding uses ($INI814 or ~)
    runs = archive.catalogue(mission="tarn", since="2012-01-01")
    maxima = archive.map(lambda f: f.series("SEB:HV_MON")["value"].max(), runs)
    archive.series(["SEB:HV_MON"], runs).to_parquet("hv.parquet")
    archive.scans(runs).compute()              # per-scan figures of every TARN run

A process holds one binding at a time, and its plug-ins are those of the first mission it
bound, so runs are bound in processes, never in threads of one process, and a process only
ever binds runs of one mission: a worker hands each run to a helper process that it starts for
the run's mission and keeps for later runs of it. By default the work goes to a local cluster
of processes, one thread each; ``client=`` takes a client of an existing cluster, whose workers
need this package and read access to the archive and its configuration.

pandas and dask (``pip install 'k814util[analysis]'``) are needed here; ``import k814util``
does not load this module.
"""

from __future__ import annotations

import atexit
import contextlib
import fnmatch
import os
import pickle
import re
import subprocess
import sys
import threading
from collections.abc import Callable, Iterable, Iterator
from typing import TYPE_CHECKING, Any, Union

import numpy as np

from k814util import k814util as _k

if TYPE_CHECKING:
    import dask.dataframe
    import distributed
    import pandas as pd

#: The catalogue's columns, in order.
CATALOGUE_COLUMNS = (
    "mission",
    "group",
    "tid",
    "test_name",
    "start_time",
    "telemetry_file",
    "size",
    "error",
)
#: The columns that say which run a row of :meth:`Archive.series` or :meth:`Archive.scans`
#: comes from.
RUN_COLUMNS = ("mission", "group", "tid", "test_name")

# A TID directory: local start date and time, the 5-digit test ID, the test name.
_TID_DIR = re.compile(r"^(\d{4}-\d\d-\d\d-\d\d\.\d\d\.\d\d)-(\d{5})-(.+)$")
# How deep below a data root TID directories are looked for (year or campaign folders).
_SEARCH_DEPTH = 3
# Files of a TID directory that are not its telemetry.
_NOT_TELEMETRY = (".meta", ".json", ".mcal", ".amu", ".txt", ".csv", ".png")

Item = Union[int, str]


class RunError(Exception):
    """A test run that could not be bound or whose work failed: ``run`` names it (the TID
    directory), ``message`` says why, ``telemetry_file`` is its file."""

    def __init__(self, run: str, message: str, telemetry_file: str = ""):
        super().__init__(f"{run}: {message}")
        self.run = run
        self.message = message
        self.telemetry_file = telemetry_file

    def __reduce__(self):
        return (RunError, (self.run, self.message, self.telemetry_file))

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


@contextlib.contextmanager
def _configuration(ini: str) -> Iterator[None]:
    """$INI814 names ini while the block runs: lookups of the configuration read it."""
    saved = os.environ.get("INI814")
    os.environ["INI814"] = ini
    try:
        yield
    finally:
        if saved is None:
            os.environ.pop("INI814", None)
        else:
            os.environ["INI814"] = saved


def _tid_dirs(root: str, depth: int = _SEARCH_DEPTH) -> Iterator[str]:
    """TID directories below root, in name order; a TID directory is not searched further."""
    try:
        entries = sorted(os.scandir(root), key=lambda e: e.name)
    except OSError:
        return
    for entry in entries:
        if not entry.is_dir():
            continue
        if _TID_DIR.match(entry.name):
            yield entry.path
        elif depth > 1:
            yield from _tid_dirs(entry.path, depth - 1)


def _telemetry_candidate(directory: str) -> str:
    """For a run without readable metadata: its largest file that is not metadata."""
    best, size = "", -1
    with contextlib.suppress(OSError):
        for entry in os.scandir(directory):
            if entry.is_file() and not entry.name.lower().endswith(_NOT_TELEMETRY):
                n = entry.stat().st_size
                if n > size:
                    best, size = entry.path, n
    return best


def _run_name(telemetry_file: str) -> str:
    """The TID directory a run's telemetry file lies in (or the directory itself)."""
    parent, name = os.path.split(telemetry_file.rstrip(os.sep))
    return name if _TID_DIR.match(name) else os.path.basename(parent)


def _describe(group: str, directory: str) -> dict:
    """One catalogue row: the run in directory, found under the data root of group."""
    name = os.path.basename(directory)
    named = _TID_DIR.match(name)
    meta = _k._archive_test_meta(directory)
    if meta["valid"]:
        mission, group, tid = meta["mission"].lower(), meta["group"], meta["tid"]
        telemetry = os.path.join(directory, meta["tmfile_name"]) if meta["tmfile_name"] else ""
    else:
        # The mission word of the configuration group whose data root holds the run.
        mission, tid = group.split("_")[0].lower(), int(named.group(2))
        telemetry = ""
    telemetry = telemetry or _telemetry_candidate(directory)
    if telemetry:
        error = _k._archive_binding_problem(telemetry)
    else:
        error, telemetry = f"no telemetry file in {directory}", directory
    return {
        "mission": mission,
        "group": group,
        "tid": tid,
        "test_name": named.group(3),
        "start_time": _k._archive_tid_dir_time(name),
        "telemetry_file": telemetry,
        "size": os.path.getsize(telemetry) if os.path.isfile(telemetry) else 0,
        "error": error,
    }


def _timestamp(pd, value) -> pd.Timestamp:
    """A time limit; dates and times without a zone are UTC."""
    stamp = pd.Timestamp(value)
    return stamp.tz_localize("UTC") if stamp.tzinfo is None else stamp.tz_convert("UTC")


def _records(runs: pd.DataFrame | pd.Series) -> list[dict]:
    pd = _pandas()
    if isinstance(runs, pd.Series):
        return [runs.to_dict()]
    missing = [c for c in ("mission", "telemetry_file", "error") if c not in runs.columns]
    if missing:
        raise ValueError(f"runs must be rows of Archive.catalogue(); missing columns {missing}")
    return runs.to_dict("records")


# Binding, in whichever process does the work -----------------------------------------------
#
# The work on a run happens in a helper process that this process starts for the run's mission
# and keeps for later runs of it: so a process binds runs of one mission only, the compiled
# module runs on the one thread that loaded it (a Dask worker runs tasks on a thread of its
# pool, and unpickles them on another), and the caller's own binding stays untouched.

# Helper processes of this process, by mission, each with the lock its users take turns on.
_HELPERS: dict[str, _Helper] = {}
_HELPER_LOCKS: dict[str, threading.Lock] = {}
_HELPERS_LOCK = threading.Lock()


def _message(exc: BaseException) -> str:
    text = str(exc)
    return text if text else type(exc).__name__


def _bind_and_call(func: Callable, path: str, ini: str):
    import k814util

    with _configuration(ini):
        return func(k814util.open(path))


def _work(func: Callable, path: str, mission: str, ini: str, run: str):
    """func(TMFile of the run) in this process's helper for the run's mission. A failure is
    returned as a :class:`RunError`, never raised, so one bad run leaves the others be."""
    with _HELPERS_LOCK:
        lock = _HELPER_LOCKS.setdefault(mission, threading.Lock())
    with lock:
        try:
            helper = _HELPERS.get(mission)
            if helper is None or not helper.alive():
                helper = _HELPERS[mission] = _Helper()
            return helper.call(func, path, mission, ini)
        except Exception as exc:
            return RunError(run, _message(exc), path)


class _HelperFailure(Exception):
    """The work failed in the helper process; the message is its exception's."""


class _Helper:
    """A child process that binds runs of one mission, one at a time, on request: the work is
    sent pickled over its standard input, the result comes back over its standard output."""

    def __init__(self) -> None:
        env = dict(os.environ)
        # Whatever this process imports (the package, the caller's modules), the child finds.
        env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
        self.process = subprocess.Popen(
            [sys.executable, "-c", "from k814util.archive import _helper_main; _helper_main()"],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            env=env,
        )

    def alive(self) -> bool:
        return self.process.poll() is None

    def call(self, func: Callable, path: str, mission: str, ini: str):
        import cloudpickle

        _send(self.process.stdin, cloudpickle.dumps((func, path, mission, ini)))
        reply = _receive(self.process.stdout)
        if reply is None:
            code = self.process.wait()
            raise RuntimeError(f"the binding process ended (exit status {code})")
        ok, value = pickle.loads(reply)
        if not ok:
            raise _HelperFailure(value)
        return value

    def close(self) -> None:
        with contextlib.suppress(OSError):
            self.process.stdin.close()
        with contextlib.suppress(subprocess.TimeoutExpired):
            self.process.wait(timeout=5)
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def _send(stream, data: bytes) -> None:
    stream.write(len(data).to_bytes(8, "big"))
    stream.write(data)
    stream.flush()


def _receive(stream) -> bytes | None:
    header = stream.read(8)
    if len(header) < 8:
        return None
    n = int.from_bytes(header, "big")
    data = stream.read(n)
    return data if len(data) == n else None


def _helper_main() -> None:
    """The helper process: binds and works until its standard input closes."""
    import cloudpickle

    replies = os.fdopen(os.dup(sys.stdout.fileno()), "wb")
    # Whatever else writes to standard output (the caller's function, the libraries) must not
    # mix with the replies: it goes to standard error.
    os.dup2(sys.stderr.fileno(), sys.stdout.fileno())
    requests = sys.stdin.buffer
    while True:
        request = _receive(requests)
        if request is None:
            return
        try:
            func, path, mission, ini = cloudpickle.loads(request)
            if not _k._archive_plugins_serve(mission):
                raise RuntimeError(f"this process's plug-ins are another mission's than {mission}")
            reply = (True, _bind_and_call(func, path, ini))
        except Exception as exc:
            reply = (False, _message(exc))
        try:
            data = cloudpickle.dumps(reply)
        except Exception as exc:
            data = cloudpickle.dumps((False, f"the result cannot be pickled: {_message(exc)}"))
        _send(replies, data)


def _close_helpers() -> None:
    for helper in _HELPERS.values():
        helper.close()
    _HELPERS.clear()


atexit.register(_close_helpers)


# Work done on each run for the data frames ------------------------------------------------


def _run_columns(pd, row: dict, n: int) -> dict:
    return {
        "mission": np.full(n, row["mission"], dtype=object),
        "group": np.full(n, row["group"], dtype=object),
        "tid": np.full(n, row["tid"], dtype=np.int64),
        "test_name": np.full(n, row["test_name"], dtype=object),
    }


def _series_meta(pd) -> pd.DataFrame:
    frame = pd.DataFrame(
        {
            **_run_columns(pd, {"mission": "", "group": "", "tid": 0, "test_name": ""}, 0),
            "item": np.empty(0, dtype=object),
            "value": np.empty(0, dtype=np.float64),
            "relative_time": np.empty(0, dtype=np.float64),
            "packet": np.empty(0, dtype=np.int64),
            "sample": np.empty(0, dtype=np.int64),
        }
    )
    # The index of TMFile.dataframe: UTC, to the microsecond.
    frame.index = pd.DatetimeIndex([], dtype="datetime64[us, UTC]", name="time")
    return frame


class _SeriesJob:
    """The items of one run in the long layout of ``TMFile.dataframe``; items the run's
    database does not hold give no rows."""

    def __init__(self, items: list, mode: int | str, row: dict):
        self.items, self.mode, self.row = items, mode, row

    def __call__(self, tmfile) -> pd.DataFrame:
        import pandas as pd

        from k814util.frames import UnknownItemError, _Catalogue

        catalogue = _Catalogue()
        known = []
        for item in self.items:
            try:
                catalogue.resolve(item)
            except UnknownItemError:
                continue
            known.append(item)
        if not known:
            return _series_meta(pd)
        long = tmfile.dataframe(known, self.mode, layout="long")
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
                "relative_time": long["relative_time"].to_numpy(),
                "packet": long["packet"].to_numpy(dtype=np.int64),
                "sample": long["sample"].to_numpy(dtype=np.int64),
            },
            index=long.index,
        )
        return frame


def _scans_meta(pd) -> pd.DataFrame:
    from k814util.spectra import _REAL_COLUMNS

    texts = ("mode", "ion_source", "marker_text")
    columns = _run_columns(pd, {"mission": "", "group": "", "tid": 0, "test_name": ""}, 0)
    for name in _scans_order()[len(RUN_COLUMNS) :]:
        kind = np.float64 if name in _REAL_COLUMNS else object if name in texts else np.int64
        columns[name] = np.empty(0, dtype=kind)
    return pd.DataFrame(columns)


def _scans_order() -> tuple:
    return (
        *RUN_COLUMNS,
        "scan",
        "relative_time",
        "unix_time",
        "tic",
        "corrected_tic",
        "highest_count",
        "highest_count_bin",
        "mode",
        "ion_source",
        "src_pkt_type",
        "summed_scans",
        "marker_id",
        "marker_text",
        "marker_time",
        "bins",
    )


class _ScansJob:
    """The per-scan figures of one TARN run (``Spectra.table()`` without the arrays), with
    mode and ion source as text."""

    def __init__(self, row: dict):
        self.row = row

    def __call__(self, tmfile) -> pd.DataFrame:
        import pandas as pd

        from k814util.spectra import _counted_bins, _rows, _table_columns

        scans = _k.ScienceDataCacheWrapper(False, False)
        rows = _rows(scans, 0, None)
        n_bins, _ = _counted_bins(scans, rows)
        columns = _table_columns(scans, rows, n_bins)
        frame = pd.DataFrame({**_run_columns(pd, self.row, len(rows)), **columns})
        return frame[list(_scans_order())]


def _partition(job, row: dict, ini: str):
    result = _work(
        job, row["telemetry_file"], row["mission"], ini, _run_name(row["telemetry_file"])
    )
    if isinstance(result, RunError):
        raise result
    return result


# The archive ---------------------------------------------------------------------------------


class Archive:
    """Every test run of every mission group of a workstation configuration.

    ``ini`` is the configuration file; by default the one binding reads ($INI814 when set,
    else ".814config.INI" in the home directory). Runs are the TID directories under each
    group's "data_root" (directly, or in folders up to three levels down). ``workers`` is the
    size of the local cluster that :meth:`map`, :meth:`series` and :meth:`scans` start when no
    client is given (default: one per processor).

    Raises ``RuntimeError`` when there is no configuration file.
    """

    def __init__(self, ini: str | os.PathLike | None = None, workers: int | None = None):
        if ini is None:
            ini = _k._archive_config_path()
        self.ini = os.path.abspath(os.fspath(ini))
        with _configuration(self.ini):
            #: (group, data root) of each mission group, in the file's order.
            self.groups: list[tuple[str, str]] = list(_k._archive_data_roots())
        self.workers = workers
        self._catalogue: pd.DataFrame | None = None
        self._client: distributed.Client | None = None
        self._cluster = None

    def __repr__(self) -> str:
        return f"Archive({self.ini!r}, groups {[g for g, _ in self.groups]})"

    def __enter__(self) -> Archive:
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    # -- catalogue

    def refresh(self) -> pd.DataFrame:
        """Walks the data roots again (runs the station added since) and returns the whole
        catalogue."""
        pd = _pandas()
        rows, seen = [], set()
        with _configuration(self.ini):
            for group, root in self.groups:
                if not root:
                    continue
                for directory in _tid_dirs(root):
                    real = os.path.realpath(directory)
                    if real not in seen:  # data roots that several groups share
                        seen.add(real)
                        rows.append(_describe(group, directory))
        frame = pd.DataFrame(rows, columns=list(CATALOGUE_COLUMNS))
        frame["start_time"] = pd.to_datetime(
            frame["start_time"].astype(np.float64) * 1e3, unit="ms", utc=True
        )
        frame = frame.astype({"tid": np.int64, "size": np.int64})
        frame = frame.sort_values(["start_time", "mission", "tid"], kind="stable")
        self._catalogue = frame.reset_index(drop=True)
        return self._catalogue.copy()

    def catalogue(
        self,
        mission: str | Iterable[str] | None = None,
        since=None,
        until=None,
        name: str | None = None,
    ) -> pd.DataFrame:
        """One row per test run, oldest first: ``mission``, ``group`` (the configuration group
        binding uses), ``tid``, ``test_name`` and ``start_time`` (UTC, from the TID directory
        name, whose time is the station's), ``telemetry_file``, ``size`` (bytes) and ``error``:
        the line binding would fail with ("A valid tm.meta could not be found for ...", a
        missing file, an invalid group, an unsupported mission), empty for a run that binds.

        Filters: ``mission`` (one or several, any case); ``since`` (inclusive) and ``until``
        (exclusive), anything pandas reads as a time, UTC unless it names a zone; ``name``, a
        shell-style pattern on the test name when it has wildcards, else a part of it (any
        case). The index is the run's position in the whole catalogue.
        """
        pd = _pandas()
        frame = self._catalogue if self._catalogue is not None else self.refresh()
        keep = np.ones(len(frame), dtype=bool)
        if mission is not None:
            wanted = {mission.lower()} if isinstance(mission, str) else {m.lower() for m in mission}
            keep &= frame["mission"].isin(wanted).to_numpy()
        if since is not None:
            keep &= (frame["start_time"] >= _timestamp(pd, since)).to_numpy()
        if until is not None:
            keep &= (frame["start_time"] < _timestamp(pd, until)).to_numpy()
        if name is not None:
            glob = name.lower() if any(c in name for c in "*?[") else f"*{name.lower()}*"
            names = frame["test_name"].str.lower()
            keep &= np.array([fnmatch.fnmatchcase(n, glob) for n in names], dtype=bool)
        return frame[keep].copy()

    # -- the cluster

    @property
    def client(self) -> distributed.Client:
        """The client of this archive's local cluster of worker processes (one thread each),
        started on first use; the work goes there when no client is given."""
        if self._client is None:
            from distributed import Client, LocalCluster

            self._cluster = LocalCluster(
                n_workers=self.workers or os.cpu_count() or 1,
                processes=True,
                threads_per_worker=1,
                dashboard_address=None,
            )
            self._client = Client(self._cluster)
        return self._client

    def _use(self, client: distributed.Client | None) -> distributed.Client:
        if client is not None:
            return client
        return self.client

    def close(self) -> None:
        """Stops the local cluster this archive started (a client given to it stays open)."""
        if self._cluster is not None:
            self._client.close()
            self._cluster.close()
            self._client = self._cluster = None

    # -- work over runs

    def map(
        self,
        func: Callable[[Any], Any],
        runs: pd.DataFrame | pd.Series | None = None,
        client: distributed.Client | None = None,
    ) -> list:
        """``func(tmfile)`` for each run (rows of :meth:`catalogue`; all when None), each run
        bound in a worker process, and the results in the order of the rows. A run that cannot
        be bound, or whose ``func`` raises, gives a :class:`RunError` in its place; the others
        go on. ``func`` and its results travel pickled (cloudpickle). Progress is shown on
        standard error when it is a terminal."""
        from distributed import as_completed

        rows = _records(self.catalogue() if runs is None else runs)
        results: list = [None] * len(rows)
        pending = {}
        with _Progress(len(rows)) as progress:
            work = [(i, r) for i, r in enumerate(rows) if not r["error"]]
            for i, row in enumerate(rows):
                if row["error"]:
                    path = row["telemetry_file"]
                    results[i] = RunError(_run_name(path), row["error"], path)
                    progress.update()
            if work:
                client = self._use(client)
                for i, row in work:
                    path = row["telemetry_file"]
                    future = client.submit(
                        _work,
                        func,
                        path,
                        row["mission"],
                        self.ini,
                        _run_name(path),
                        pure=False,
                    )
                    pending[future] = i
                for future in as_completed(list(pending)):
                    i = pending.pop(future)
                    try:
                        results[i] = future.result()
                    except Exception as exc:  # the worker itself was lost
                        path = rows[i]["telemetry_file"]
                        results[i] = RunError(_run_name(path), _message(exc), path)
                    future.release()
                    progress.update()
        return results

    def _frame(self, jobs: list, meta, client):
        import dask
        import dask.dataframe as dd

        self._use(client)  # the partitions are computed where the client sends them
        parts = [dask.delayed(_partition, pure=False)(job, row, self.ini) for job, row in jobs]
        if not parts:
            return dd.from_pandas(meta, npartitions=1)
        return dd.from_delayed(parts, meta=meta, verify_meta=False)

    def series(
        self,
        items: Item | Iterable[Item],
        runs: pd.DataFrame | None = None,
        mode: int | str = "sci",
        client: distributed.Client | None = None,
    ) -> dask.dataframe.DataFrame:
        """The values of items (ids or mnemonics) in every run as a dask DataFrame, one
        partition per run, in the order of the rows: the run columns ``mission``, ``group``,
        ``tid``, ``test_name``, then the long layout of ``TMFile.dataframe`` (``item``,
        ``value``, ``relative_time``, ``packet``, ``sample``) with its UTC time index.

        Runs whose catalogue row has an error are left out; a run's database that lacks an
        item gives no rows for it. Values are numbers (text items are refused when computed:
        read them with :meth:`map`). Computing it (``.compute()``, ``.to_parquet(path)``)
        binds each run in a worker process like :meth:`map`, and raises :class:`RunError` for
        a run that fails.
        """
        pd = _pandas()
        wanted = [items] if isinstance(items, (str, int)) else list(items)
        if not wanted:
            raise ValueError("series needs at least one item")
        rows = [r for r in _records(self.catalogue() if runs is None else runs) if not r["error"]]
        jobs = [(_SeriesJob(wanted, mode, _run_row(r)), r) for r in rows]
        return self._frame(jobs, _series_meta(pd), client)

    def scans(
        self, runs: pd.DataFrame | None = None, client: distributed.Client | None = None
    ) -> dask.dataframe.DataFrame:
        """The per-scan figures of every TARN run as a dask DataFrame, one partition per run:
        the run columns, then the columns of ``Spectra.table()`` (``scan``, times, TIC and
        corrected TIC, highest count and its bin, ``mode`` and ``ion_source`` as text, source
        packet type, summed scans, marker id, text and time, ``bins``). Other missions' runs
        and runs with a catalogue error are left out."""
        pd = _pandas()
        rows = _records(self.catalogue() if runs is None else runs)
        rows = [r for r in rows if r["mission"] == "tarn" and not r["error"]]
        jobs = [(_ScansJob(_run_row(r)), r) for r in rows]
        return self._frame(jobs, _scans_meta(pd), client)


def _run_row(row: dict) -> dict:
    return {name: row[name] for name in RUN_COLUMNS}


class _Progress:
    """A progress bar on standard error when it is a terminal and tqdm is installed."""

    def __init__(self, total: int):
        self.bar = None
        if total and sys.stderr.isatty():
            with contextlib.suppress(ImportError):
                from tqdm import tqdm

                self.bar = tqdm(total=total, unit="run", file=sys.stderr)

    def __enter__(self) -> _Progress:
        return self

    def update(self) -> None:
        if self.bar is not None:
            self.bar.update()

    def __exit__(self, *exc) -> None:
        if self.bar is not None:
            self.bar.close()
