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
bound, so runs are bound in processes, never in threads of one process: each Dask worker hands
a run to the run's own worker process (:class:`k814util.Run`), which it keeps for later work on
that run (a few at a time, reused for runs of the same mission). By default the work goes to a
local cluster of processes, one thread each; ``client=`` takes a client of an existing cluster,
whose workers need this package and read access to the archive and its configuration.

pandas and dask (``pip install 'k814util[analysis]'``) are needed here; ``import k814util``
does not load this module.
"""

from __future__ import annotations

import contextlib
import fnmatch
import os
import sys
import traceback
import warnings
from collections.abc import Callable, Iterable, Iterator
from typing import TYPE_CHECKING, Any, Union

import numpy as np

from k814util import k814util as _k
from k814util._archivework import (
    DIAGNOSTICS_TOPIC,
    RUN_COLUMNS,
    TID_DIR,
    RunError,
    RunWarning,
    _Batch,
    _check_errors,
    _close_helpers,
    _ItemCheck,
    _limits_meta,
    _LimitsJob,
    _message,
    _pandas,
    _partition,
    _run_name,
    _run_row,
    _scans_meta,
    _ScansJob,
    _series_meta,
    _SeriesJob,
    _submit,
    _work,
)
from k814util.runs import Run

__all__ = [
    "CATALOGUE_COLUMNS",
    "DIAGNOSTICS_TOPIC",
    "RUN_COLUMNS",
    "Archive",
    "ArchiveWarning",
    "RunError",
    "RunWarning",
]

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

# How deep below a data root TID directories are looked for: directly below it, or inside up to
# two levels of folders (year, campaign).
_SEARCH_DEPTH = 3
# Files of a TID directory that are not its telemetry.
_NOT_TELEMETRY = (".meta", ".json", ".mcal", ".amu", ".txt", ".csv", ".png")

Item = Union[int, str]


class ArchiveWarning(UserWarning):
    """Part of the configuration the catalogue cannot walk (a missing data root).

    Examples
    --------
    >>> import warnings
    >>> from k814util.archive import ArchiveWarning
    >>> issubclass(ArchiveWarning, UserWarning)
    True
    """


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
        if TID_DIR.match(entry.name):
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


def _describe(group: str, directory: str) -> dict:
    """One catalogue row: the run in directory, found under the data root of group."""
    name = os.path.basename(directory)
    named = TID_DIR.match(name)
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


# The archive ---------------------------------------------------------------------------------


class Archive:
    """Every test run of every mission group of a workstation configuration, on Dask.

    Runs are the TID directories under each group's "data_root" (directly below it, or inside
    up to two levels of folders such as year and campaign). Each run is bound in a worker
    process of its own (a :class:`k814util.Run`), never a thread.

    Parameters
    ----------
    ini : str or os.PathLike, optional
        The configuration file; by default the one binding reads ($INI814 when set, else
        ".814config.INI" in the home directory).
    workers : int, optional
        The size of the local cluster that :meth:`map`, :meth:`series`, :meth:`scans` and
        :meth:`limit_violations` start when no client is given (default: one per processor).

    Attributes
    ----------
    ini : str
        The configuration file's absolute path.
    groups : list of (str, str)
        Each mission group and its data root, in the file's order.

    Raises
    ------
    RuntimeError
        When there is no configuration file.

    Examples
    --------
    >>> from k814util.archive import Archive
    >>> archive = Archive("build/sample-archive/.814config.INI")
    >>> [group for group, root in archive.groups]
    ['TARN_FM', 'VIREO']
    >>> archive.catalogue()[["mission", "tid", "test_name", "error"]]
      mission    tid     test_name error
    0    tarn  12345   tarn_sample
    1   vireo  23456  vireo_sample
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
        self._clients: list = []  # every client work went to, whose helpers close() ends

    def __repr__(self) -> str:
        return f"Archive({self.ini!r}, groups {[g for g, _ in self.groups]})"

    def _repr_html_(self) -> str:
        """A short HTML summary for notebooks: the configuration, each group's data root and,
        once :meth:`catalogue` has been read, the runs by mission (the data roots are not
        walked for it).

        Returns
        -------
        str
            The summary as HTML.
        """
        from k814util import _html

        rows, note = _html.archive_rows(self)
        return _html.table("Archive", rows, note)

    def __enter__(self) -> Archive:
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    # -- catalogue

    def refresh(self) -> pd.DataFrame:
        """Walks the data roots again, for the runs the station added since.

        Returns
        -------
        pandas.DataFrame
            The whole catalogue, as :meth:`catalogue` gives it.

        Warns
        -----
        ArchiveWarning
            For a group without a data root, or whose data root is not a directory.

        Examples
        --------
        >>> from k814util.archive import Archive
        >>> archive = Archive("build/sample-archive/.814config.INI")
        >>> archive.refresh()[["mission", "tid"]]
          mission    tid
        0    tarn  12345
        1   vireo  23456
        """
        pd = _pandas()
        rows, seen = [], set()
        with _configuration(self.ini):
            for group, root in self.groups:
                if not root or not os.path.isdir(root):
                    problem = f"data root {root} is not a directory" if root else "no data root"
                    warnings.warn(ArchiveWarning(f"group {group}: {problem}"), stacklevel=2)
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
        """One row per test run, oldest first.

        Parameters
        ----------
        mission : str or list of str, optional
            Keep these missions (any case).
        since, until : str, datetime or pandas.Timestamp, optional
            Keep the runs that started at or after ``since`` and before ``until``: anything
            pandas reads as a time, UTC unless it names a zone.
        name : str, optional
            Keep the test names that match: a shell-style pattern when it has wildcards, else a
            part of the name (any case).

        Returns
        -------
        pandas.DataFrame
            ``mission``, ``group`` (the configuration group binding uses), ``tid``,
            ``test_name`` and ``start_time`` (UTC, from the TID directory name, whose time is
            the station's), ``telemetry_file``, ``size`` (bytes) and ``error``: the line
            binding would fail with ("A valid tm.meta could not be found for ...", a missing
            file, an invalid group, an unsupported mission), empty for a run that binds. The
            index is the run's position in the whole catalogue.

        Examples
        --------
        >>> from k814util.archive import Archive
        >>> archive = Archive("build/sample-archive/.814config.INI")
        >>> archive.catalogue(mission="TARN", since="2012-04-02")[["tid", "start_time"]]
             tid                start_time
        0  12345 2012-04-02 16:35:42+00:00
        >>> archive.catalogue(name="vireo*")["tid"].tolist()
        [23456]
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

    def run(self, row) -> Run:
        """One catalogued run as a :class:`k814util.Run`, with this archive's configuration.

        Parameters
        ----------
        row : pandas.Series or int
            A row of :meth:`catalogue`, or its index there.

        Returns
        -------
        Run
            Bound in a worker process of its own on first use.

        Raises
        ------
        KeyError
            For an index the catalogue lacks.
        BindingError
            For a run its catalogue row says cannot be bound.

        Examples
        --------
        >>> from k814util.archive import Archive
        >>> archive = Archive("build/sample-archive/.814config.INI")
        >>> with archive.run(0) as run:
        ...     run.mission(), run.packet_summary().packets
        ('tarn', 771)
        """
        pd = _pandas()
        if not isinstance(row, pd.Series):
            row = self.catalogue().loc[row]
        if row["error"]:
            from k814util._binding import BindingError

            raise BindingError(row["error"])
        return Run(row["telemetry_file"], self.ini)

    # -- the cluster

    @property
    def client(self) -> distributed.Client:
        """The client of this archive's local cluster of worker processes (one thread each).

        Started on first use; the work goes there when no client is given. It does not become
        dask's default client (the caller's stays). Its dashboard listens on a free port.

        Returns
        -------
        distributed.Client

        Examples
        --------
        >>> from k814util.archive import Archive
        >>> with Archive("build/sample-archive/.814config.INI", workers=1) as archive:
        ...     len(archive.client.scheduler_info()["workers"])  # doctest: +SKIP
        1
        """
        if self._client is None:
            from distributed import Client, LocalCluster

            self._cluster = LocalCluster(
                n_workers=self.workers or os.cpu_count() or 1,
                processes=True,
                threads_per_worker=1,
                dashboard_address=":0",
            )
            self._client = Client(self._cluster, set_as_default=False)
        return self._client

    def _use(self, client: distributed.Client | None) -> distributed.Client:
        client = self.client if client is None else client
        if all(c is not client for c in self._clients):
            self._clients.append(client)
        return client

    def close(self) -> None:
        """Ends what this archive's work started.

        The helper processes its work started on the workers of every client it used end, and
        the local cluster it started stops (a client given to it stays open).

        Examples
        --------
        >>> from k814util.archive import Archive
        >>> with Archive("build/sample-archive/.814config.INI") as archive:  # closes at the end
        ...     len(archive.catalogue())
        2
        """
        for client in self._clients:
            if client.status == "running":
                with contextlib.suppress(Exception):
                    client.run(_close_helpers)
        self._clients.clear()
        if self._cluster is not None:
            self._client.close()
            self._cluster.close()
            self._client = self._cluster = None

    def diagnostics(self, client: distributed.Client | None = None) -> dict[str, int]:
        """Lines of diagnostics per run, as the latest work on the cluster reported them.

        The lines of each run's binding (a damaged file's "Skipped N bytes" and the like):
        helper processes capture them instead of writing them to the workers' standard error.

        Parameters
        ----------
        client : distributed.Client, optional
            The cluster the work ran on (default: this archive's).

        Returns
        -------
        dict of str to int
            The line count of each run (by its TID directory) that work was done on.

        Examples
        --------
        >>> from k814util.archive import Archive
        >>> archive = Archive("build/sample-archive/.814config.INI", workers=1)
        >>> archive.diagnostics()  # no work done yet
        {}
        >>> archive.map(len, archive.catalogue(mission="tarn"))  # doctest: +SKIP
        [771]
        >>> [lines > 0 for lines in archive.diagnostics().values()]  # doctest: +SKIP
        [True]
        >>> archive.close()
        """
        client = self._client if client is None else client
        if client is None:
            return {}
        lines: dict[str, int] = {}
        for _, event in client.get_events(DIAGNOSTICS_TOPIC):
            lines[event["run"]] = event["lines"]
        return lines

    # -- work over runs

    def map(
        self,
        func: Callable[[Any], Any],
        runs: pd.DataFrame | pd.Series | None = None,
        client: distributed.Client | None = None,
    ) -> list:
        """Calls ``func(tmfile)`` for each run, each bound in a worker process.

        Progress is shown on standard error when it is a terminal.

        Parameters
        ----------
        func : callable
            Called with each run's bound :class:`k814util.TMFile`; it and its results travel
            pickled (cloudpickle), so it may be a lambda.
        runs : pandas.DataFrame or pandas.Series, optional
            Rows of :meth:`catalogue` (default: all).
        client : distributed.Client, optional
            Where the work runs (default: this archive's local cluster).

        Returns
        -------
        list
            The results in the order of the rows. A run that cannot be bound, or whose
            ``func`` raises, gives a :class:`RunError` in its place; the others go on.

        Examples
        --------
        >>> from k814util.archive import Archive
        >>> with Archive("build/sample-archive/.814config.INI", workers=1) as archive:
        ...     archive.map(len)  # doctest: +SKIP
        [771, 195]
        """
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
                for future in as_completed(list(pending), loop=client.loop):
                    i = pending.pop(future)
                    try:
                        results[i] = future.result()
                    except Exception as exc:  # the worker itself was lost
                        path = rows[i]["telemetry_file"]
                        text = traceback.format_exc()
                        results[i] = RunError(_run_name(path), _message(exc), path, text)
                    future.release()
                    progress.update()
        return results

    def _frame(self, jobs: list, meta, client, errors: str):
        import dask
        import dask.dataframe as dd

        _check_errors(errors)
        if not jobs:
            return dd.from_pandas(meta, npartitions=1)
        batch = _Batch(self._use(client), jobs, self.ini)
        parts = [
            dask.delayed(_partition, pure=False)(job, row, self.ini, batch, i, errors)
            for i, (job, row) in enumerate(jobs)
        ]
        return dd.from_delayed(parts, meta=meta, verify_meta=False)

    def _check_items(self, items: list, rows: list[dict], client) -> None:
        """Raises the unknown-item error for an item that no configuration group's database
        among the runs holds, asking one run of each group (its smallest file)."""
        from k814util.frames import UnknownItemError

        first: dict[str, dict] = {}
        for row in sorted(rows, key=lambda r: r["size"]):
            first.setdefault(row["group"], row)
        if not first:
            return
        client = self._use(client)
        futures = {g: _submit(client, _ItemCheck(items), r, self.ini) for g, r in first.items()}
        answers = {g: f.result() for g, f in futures.items()}
        answers = {g: a for g, a in answers.items() if not isinstance(a, RunError)}
        for item in items:
            said = {g: a[item] for g, a in answers.items()}
            if said and all(said.values()):
                if len(said) == 1:
                    raise UnknownItemError(next(iter(said.values())))
                raise UnknownItemError(" / ".join(f"{g}: {m}" for g, m in said.items()))

    def series(
        self,
        items: Item | Iterable[Item],
        runs: pd.DataFrame | None = None,
        mode: int | str = "sci",
        client: distributed.Client | None = None,
        errors: str = "skip",
    ) -> dask.dataframe.DataFrame:
        """The values of items (ids or mnemonics) in every run as a dask DataFrame, one
        partition per run, in the order of the rows: the run columns ``mission``, ``group``,
        ``tid``, ``test_name``, then the long layout of ``TMFile.dataframe`` (``item``,
        ``value``, with ``mode`` and ``units`` naming what the value is, ``relative_time``,
        ``packet``, ``sample``) with its UTC time index.

        Runs whose catalogue row has an error are left out; a run's database that lacks an
        item gives no rows for it, but an item that none of the runs' configuration groups
        holds (asked of one run per group, here and now) raises ``k814util.UnknownItemError``
        with the close matches. Values are numbers (text items are refused when computed: read
        them with :meth:`map`).

        Parameters
        ----------
        items : int, str or list of them
            Ids or mnemonics.
        runs : pandas.DataFrame, optional
            Rows of :meth:`catalogue` (default: all).
        mode : str or int, optional
            "raw", "eng", "sci" (default) or 0-2.
        client : distributed.Client, optional
            Where the work runs (default: this archive's local cluster).
        errors : {"skip", "raise"}, optional
            What a run whose work fails does (below).

        Returns
        -------
        dask.dataframe.DataFrame

        Computing it (``.compute()``, ``.to_parquet(path)``) binds each run in a worker
        process of client (default: this archive's cluster) like :meth:`map`: computed in this
        process the partitions send their runs there; computed on a cluster (``client.compute``,
        or dask's default client), each partition binds its run on the worker that computes
        it. A run that fails does not stop the others: with ``errors="skip"`` its partition is
        empty and a :class:`RunWarning` names the run and the error; with ``errors="raise"``
        the computation raises its :class:`RunError`.

        Raises
        ------
        UnknownItemError
            For an item that none of the runs' configuration groups holds.
        ValueError
            For no items, another mode or another ``errors``.

        Examples
        --------
        >>> from k814util.archive import Archive
        >>> with Archive("build/sample-archive/.814config.INI", workers=1) as archive:
        ...     hv = archive.series("SEB:HV_MON", archive.catalogue(mission="tarn"))
        ...     hv.compute()["value"].agg(["count", "max"]).round(1).tolist()  # doctest: +SKIP
        [120.0, 343.9]
        """
        from k814util.catalogue import parse_mode as _mode

        pd = _pandas()
        wanted = [items] if isinstance(items, (str, int)) else list(items)
        if not wanted:
            raise ValueError("series needs at least one item")
        _mode(mode)
        _check_errors(errors)
        rows = [r for r in _records(self.catalogue() if runs is None else runs) if not r["error"]]
        self._check_items(wanted, rows, client)
        jobs = [(_SeriesJob(wanted, mode, _run_row(r)), r) for r in rows]
        return self._frame(jobs, _series_meta(pd), client, errors)

    def scans(
        self,
        runs: pd.DataFrame | None = None,
        client: distributed.Client | None = None,
        errors: str = "skip",
    ) -> dask.dataframe.DataFrame:
        """The per-scan figures of every TARN run as a dask DataFrame, one partition per run:
        the run columns, then the columns of ``Spectra.table()`` (``scan``, times, TIC and
        corrected TIC, highest count and its bin, ``mode`` and ``ion_source`` as text, source
        packet type, summed scans, marker id, text and time, ``bins``). Other missions' runs
        and runs with a catalogue error are left out. Computed, and failing runs handled, as
        :meth:`series` says.

        Parameters
        ----------
        runs : pandas.DataFrame, optional
            Rows of :meth:`catalogue` (default: all).
        client : distributed.Client, optional
            Where the work runs (default: this archive's local cluster).
        errors : {"skip", "raise"}, optional
            What a run whose work fails does.

        Returns
        -------
        dask.dataframe.DataFrame

        Examples
        --------
        >>> from k814util.archive import Archive
        >>> with Archive("build/sample-archive/.814config.INI", workers=1) as archive:
        ...     table = archive.scans().compute()  # doctest: +SKIP
        ...     len(table), table["mode"].iloc[0]  # doctest: +SKIP
        (21, 'LDI')
        """
        pd = _pandas()
        rows = _records(self.catalogue() if runs is None else runs)
        rows = [r for r in rows if r["mission"] == "tarn" and not r["error"]]
        jobs = [(_ScansJob(_run_row(r)), r) for r in rows]
        return self._frame(jobs, _scans_meta(pd), client, errors)

    def limit_violations(
        self,
        runs: pd.DataFrame | None = None,
        items: Item | Iterable[Item] | None = None,
        level: str = "yellow",
        client: distributed.Client | None = None,
        errors: str = "skip",
    ) -> dask.dataframe.DataFrame:
        """Every span in which a value left its limits, in every run, as a dask DataFrame, one
        partition per run in the order of the rows: the run columns ``mission``, ``group``,
        ``tid``, ``test_name``, then the columns of ``TMFile.limit_violations`` (item, set,
        level, comparison, limit, start and end, samples, worst value, ``open``).

        ``items`` (ids or mnemonics) narrows the report (default: every item with limits);
        ``level="red"`` leaves the yellow spans out. Runs whose catalogue row has an error are
        left out; a run's database that lacks an item gives no rows for it, but an item that
        none of the runs' configuration groups holds raises ``k814util.UnknownItemError``.
        Computed, and failing runs handled, as :meth:`series` says.

        Parameters
        ----------
        runs : pandas.DataFrame, optional
            Rows of :meth:`catalogue` (default: all).
        items : int, str or list of them, optional
            Ids or mnemonics (default: every item with limits).
        level : {"yellow", "red"}, optional
            "red" leaves the yellow spans out.
        client : distributed.Client, optional
            Where the work runs (default: this archive's local cluster).
        errors : {"skip", "raise"}, optional
            What a run whose work fails does.

        Returns
        -------
        dask.dataframe.DataFrame

        Raises
        ------
        UnknownItemError
            For an item that none of the runs' configuration groups holds.
        ValueError
            For another level or another ``errors``.

        Examples
        --------
        >>> from k814util.archive import Archive
        >>> with Archive("build/sample-archive/.814config.INI", workers=1) as archive:
        ...     red = archive.limit_violations(level="red").compute()  # doctest: +SKIP
        ...     red[["tid", "mnemonic"]].values.tolist()  # doctest: +SKIP
        [[12345, 'CDH:V_BUS'], [12345, 'LIM:PRESSURE'], [12345, 'LIM:STATE']]
        """
        if level not in ("yellow", "red"):
            raise ValueError(f"level must be 'yellow' or 'red', not {level!r}")
        pd = _pandas()
        _check_errors(errors)
        wanted = None
        if items is not None:
            wanted = [items] if isinstance(items, (str, int)) else list(items)
        rows = [r for r in _records(self.catalogue() if runs is None else runs) if not r["error"]]
        if wanted:
            self._check_items(wanted, rows, client)
        jobs = [(_LimitsJob(wanted, level, _run_row(r)), r) for r in rows]
        return self._frame(jobs, _limits_meta(pd), client, errors)


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
