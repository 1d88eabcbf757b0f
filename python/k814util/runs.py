"""Several telemetry files open at once, each answering for itself.

The process binding (one telemetry file per process, :func:`k814util.open`) is the module's
design; a :class:`Run` binds its file in a worker process of its own instead and answers the
whole-file API there, returning values (numpy arrays, DataFrames, named tuples), never proxies::

    from k814util import Run

    with Run(tarn_path) as bakeout, Run(previous_path) as before:
        a = bakeout.series("SEB:HV_MON")
        b = before.series("SEB:HV_MON")

Use :func:`k814util.open` for packet objects and the documented proxies of the one bound file;
use runs to compare files, in notebooks that keep several open, and wherever the process itself
must stay unbound (a server, an archive's workers). The process's own binding is never touched
by runs.

Workers are started on a run's first call and reused; at most ``max_workers`` live at once
(:func:`set_max_workers`, default 4 or ``$K814_RUN_WORKERS``): asking a run whose worker was
closed to make room binds it again. Arrays cross between the processes as pickle protocol 5
out-of-band buffers, at memory speed.
"""

from __future__ import annotations

import os
import subprocess
import sys
import threading
import warnings
import weakref
from collections import OrderedDict
from multiprocessing.connection import Connection
from typing import Any, Callable

from k814util import _runworker
from k814util._binding import PathLike, TelemetryFileNotFoundError, telemetry_file

__all__ = [
    "METHODS",
    "Run",
    "RunPool",
    "RunWarning",
    "RunWorkerError",
    "set_max_workers",
]

#: The TMFile methods a run answers, with the arguments they take there.
METHODS = (
    "items",
    "series",
    "dataframe",
    "packets",
    "messages",
    "markers",
    "vireo_markers",
    "meta_markers",
    "tarn_markers",
    "packet_summary",
    "packet_types",
    "seb_sequences",
    "seb_commands",
    "mission",
    "refresh",
    "summary",
    "scan_table",
    "limits",
    "limit_violations",
    "spectra",
    "to_xarray",
)


class RunWorkerError(RuntimeError):
    """The worker process of a run ended while it answered (killed, or out of memory); the
    run's next call binds it again in a new worker.

    Examples
    --------
    >>> import os
    >>> import k814util
    >>> run = k814util.Run(tarn_tm)
    >>> run.apply(lambda f: os._exit(3))  # the worker dies while answering
    Traceback (most recent call last):
    ...
    k814util.runs.RunWorkerError: the worker process of ... ended (exit status 3) while ...
    >>> run.mission()  # bound again, in a new worker
    'tarn'
    >>> run.close()
    """


class RunWarning(UserWarning):
    """A run's worker had ended since its last call; it was bound again in a new one."""


class _RemoteTraceback(Exception):
    """The traceback of an exception raised in a run's worker, as text."""

    def __init__(self, text: str):
        super().__init__(text)
        self.text = text

    def __str__(self) -> str:
        return "\n\n" + self.text


def answer(f, name: str, args: tuple, kwargs: dict):
    """What the worker answers for method name of its bound TMFile f."""
    if name == "summary":
        import k814util

        return {
            "test": k814util.describe_test(f.filename()),
            "packets": f.packet_summary()._asdict(),
        }
    if name == "scan_table":
        import k814util

        return k814util.Spectra(k814util.ScienceDataCacheWrapper(False, False)).table()
    if name == "spectra":
        import k814util

        scans = k814util.ScienceDataCacheWrapper(*args[2:])
        return k814util.Spectra(scans, *args[:2])
    return getattr(f, name)(*args, **kwargs)


# The worker's entry (run with -c: the package imports the worker module itself, which "-m" would
# then run a second time).
_WORKER_MAIN = "from k814util._runworker import main; main()"


class _Worker:
    """A child process bound to (at most) one run; its lock serialises the callers."""

    def __init__(self) -> None:
        to_child_r, to_child_w = os.pipe()
        to_parent_r, to_parent_w = os.pipe()
        env = dict(os.environ)
        # The child finds whatever this process imports (a build tree's package included).
        env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
        try:
            self.process = subprocess.Popen(
                [sys.executable, "-c", _WORKER_MAIN, str(to_child_r), str(to_parent_w)],
                pass_fds=(to_child_r, to_parent_w),
                stdin=subprocess.DEVNULL,
                env=env,
                # Ctrl-C in the caller's terminal is the caller's to handle, not the workers'.
                start_new_session=True,
            )
        finally:
            os.close(to_child_r)
            os.close(to_parent_w)
        self.requests = Connection(to_child_w, readable=False, writable=True)
        self.replies = Connection(to_parent_r, readable=True, writable=False)
        self.lock = threading.RLock()
        # The run bound here, weakly: a run nobody holds any more is closed, not kept alive.
        self.run = lambda: None
        self.path: str | None = None
        self.owner: int | None = None
        self.mission: str | None = None

    def alive(self) -> bool:
        return self.process.poll() is None

    def ask(self, op: str, *payload):
        """The worker's answer to one request; raises what it raised there."""
        try:
            _runworker.send(self.requests, (op, payload))
            status, value = _runworker.receive(self.replies)
        except (EOFError, OSError, BrokenPipeError):
            code = self.process.wait()
            raise RunWorkerError(
                f"the worker process of {self.path or 'a run'} ended "
                f"(exit status {code}) while answering {op}; the next call binds the run again"
            ) from None
        if status == "ok":
            return value
        exc, text = value
        exc.__cause__ = _RemoteTraceback(text)
        raise exc

    def close(self) -> None:
        import contextlib

        with contextlib.suppress(OSError, BrokenPipeError, ValueError):
            _runworker.send(self.requests, ("close", ()))
        for conn in (self.requests, self.replies):
            with contextlib.suppress(OSError):
                conn.close()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.detach()

    def detach(self) -> None:
        """Ends the run's worker; a later call binds the run again.

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> run.mission()
        'tarn'
        >>> run.close()
        """
        run = self.run()
        if run is not None and run._worker is self:
            run._worker = None
        self.run = lambda: None
        self.owner = None


class RunPool:
    """The worker processes of runs, at most ``max_workers`` at once.

    When another is needed, the least recently used idle worker is closed first, or, for a run
    of the same mission, bound to the new run instead of a new process being started.

    Parameters
    ----------
    max_workers : int, optional
        How many workers live at once (at least 1). Every worker busy, the pool grows past it
        for now.

    Raises
    ------
    ValueError
        For ``max_workers`` below 1.

    Examples
    --------
    >>> import k814util
    >>> from k814util.runs import RunPool
    >>> pool = RunPool(max_workers=1)
    >>> a, b = k814util.Run(tarn_tm, pool=pool), k814util.Run(vireo_tm, pool=pool)
    >>> a.mission(), b.mission(), len(pool)  # b's worker replaced a's
    ('tarn', 'vireo', 1)
    >>> pool.close()
    1
    """

    def __init__(self, max_workers: int = 4):
        self.max_workers = _positive(max_workers)
        self._workers: OrderedDict[int, _Worker] = OrderedDict()
        self._lock = threading.RLock()

    def __len__(self) -> int:
        with self._lock:
            return len(self._workers)

    def _make_room(self, mission: str | None) -> _Worker | None:
        """Closes least recently used idle workers down to one place free; the one of mission
        that is idle and first in line is kept for reuse."""
        while len(self._workers) >= self.max_workers:
            victim = None
            for key, w in self._workers.items():
                if w.lock.acquire(blocking=False):
                    victim = key
                    break
            if victim is None:  # every worker busy: grow past the cap for now
                return None
            w = self._workers.pop(victim)
            try:
                w.detach()
                if mission is not None and w.mission == mission and w.alive():
                    return w
                w.close()
            finally:
                w.lock.release()
        return None

    def worker_for(self, run: Run) -> _Worker:
        """The live worker bound to run, binding it (again) in one when there is none.

        Parameters
        ----------
        run : Run
            A run of this pool.

        Returns
        -------
        object
            The worker (the pool's own record of the process; runs ask it for their calls).

        Raises
        ------
        BindingError
            When the run's file cannot be bound; the worker is closed.

        Examples
        --------
        >>> import k814util
        >>> from k814util.runs import RunPool
        >>> pool = RunPool(max_workers=1)
        >>> run = k814util.Run(tarn_tm, pool=pool)
        >>> run.bound, len(pool)
        (False, 0)
        >>> worker = pool.worker_for(run)  # binds the run now
        >>> run.bound, len(pool), pool.worker_for(run) is worker
        (True, 1, True)
        >>> pool.close()
        1
        """
        with self._lock:
            w = run._worker
            if w is not None and id(w) in self._workers:
                self._workers.move_to_end(id(w))
                if w.alive():
                    return w
                self._workers.pop(id(w))
                warnings.warn(
                    RunWarning(
                        f"the worker process of {run.path} had ended (exit status "
                        f"{w.process.returncode}); binding the run again"
                    ),
                    stacklevel=4,
                )
                run._worker = None
            w = self._make_room(run._mission) or _Worker()
            self._workers[id(w)] = w
        with w.lock:
            w.run = weakref.ref(run)
            w.owner = id(run)
            w.path = run.path
            try:
                w.mission = w.ask("bind", run.path, run.ini)
            except BaseException:
                with self._lock:
                    self._workers.pop(id(w), None)
                w.close()
                raise
            run._worker = w
        return w

    def worker_pid(self, run: Run) -> int | None:
        """The process id of the worker that holds run, or is binding it now; None when no
        live worker does (a caller can watch a long binding from outside, in /proc say).

        Parameters
        ----------
        run : Run
            A run of this pool.

        Returns
        -------
        int or None

        Examples
        --------
        >>> import k814util
        >>> from k814util.runs import RunPool
        >>> pool = RunPool(max_workers=1)
        >>> run = k814util.Run(tarn_tm, pool=pool)
        >>> print(pool.worker_pid(run))
        None
        >>> run.mission(), pool.worker_pid(run) == run.worker_pid > 0
        ('tarn', True)
        >>> pool.close()
        1
        """
        with self._lock:
            for w in self._workers.values():
                if w.owner == id(run) and w.alive():
                    return w.process.pid
        return None

    def discard(self, w: _Worker) -> None:
        """Forgets a worker that ended, and unbinds its run.

        Parameters
        ----------
        w : object
            A worker of this pool (:meth:`worker_for`).

        Examples
        --------
        >>> import k814util
        >>> from k814util.runs import RunPool
        >>> pool = RunPool(max_workers=1)
        >>> run = k814util.Run(tarn_tm, pool=pool)
        >>> worker = pool.worker_for(run)
        >>> pool.discard(worker)  # as after its process ended
        >>> run.bound, len(pool)
        (False, 0)
        >>> worker.close()  # a worker that did not end is the caller's to close
        """
        with self._lock:
            self._workers.pop(id(w), None)
        w.detach()

    def release(self, run: Run) -> None:
        """Closes run's worker, if it has one.

        Parameters
        ----------
        run : Run
            A run of this pool.

        Examples
        --------
        >>> import k814util
        >>> from k814util.runs import RunPool
        >>> pool = RunPool(max_workers=1)
        >>> run = k814util.Run(tarn_tm, pool=pool)
        >>> run.mission(), len(pool)
        ('tarn', 1)
        >>> pool.release(run)  # what run.close() does
        >>> run.bound, len(pool)
        (False, 0)
        """
        with self._lock:
            w = run._worker
            run._worker = None
            if w is None:
                return
            self._workers.pop(id(w), None)
        with w.lock:
            w.close()

    def close(self) -> int:
        """Closes every worker, each once its current call is answered.

        Returns
        -------
        int
            How many workers were closed.

        Examples
        --------
        >>> import k814util
        >>> from k814util.runs import RunPool
        >>> pool = RunPool()
        >>> runs = [k814util.Run(tarn_tm, pool=pool), k814util.Run(vireo_tm, pool=pool)]
        >>> [run.mission() for run in runs]
        ['tarn', 'vireo']
        >>> pool.close()
        2
        >>> [run.bound for run in runs]
        [False, False]
        """
        with self._lock:
            workers = list(self._workers.values())
            self._workers.clear()
        for w in workers:
            with w.lock:
                w.close()
        return len(workers)


def _positive(n: int) -> int:
    n = int(n)
    if n < 1:
        raise ValueError(f"max_workers must be at least 1, not {n}")
    return n


_DEFAULT_POOL: RunPool | None = None
_DEFAULT_LOCK = threading.Lock()


def default_pool() -> RunPool:
    """The pool runs use unless given another.

    Returns
    -------
    RunPool
        Made on first use, with ``$K814_RUN_WORKERS`` workers at most (default 4).
    """
    global _DEFAULT_POOL
    with _DEFAULT_LOCK:
        if _DEFAULT_POOL is None:
            _DEFAULT_POOL = RunPool(int(os.environ.get("K814_RUN_WORKERS", "4")))
        return _DEFAULT_POOL


def set_max_workers(n: int) -> None:
    """Sets how many run workers live at once in the default pool.

    The least recently used are closed when more are needed (``$K814_RUN_WORKERS`` sets the
    first value; 4 by default).

    Parameters
    ----------
    n : int
        At least 1.

    Raises
    ------
    ValueError
        For ``n`` below 1.

    Examples
    --------
    >>> from k814util.runs import default_pool, set_max_workers
    >>> set_max_workers(2)
    >>> default_pool().max_workers
    2
    >>> set_max_workers(4)
    """
    pool = default_pool()
    with pool._lock:
        pool.max_workers = _positive(n)


def _close_default_pool() -> int:
    pool = _DEFAULT_POOL
    return pool.close() if pool is not None else 0


import atexit  # noqa: E402  (registered once the pool exists to close)

atexit.register(_close_default_pool)


class Run:
    """A telemetry file bound in a worker process of its own.

    The file is bound on the first call, in a worker of ``pool``; :meth:`close` (or leaving a
    ``with`` block) ends the worker. Every method answers for this run's file alone, whatever
    else is open, with values (numpy arrays, data frames, named tuples); the process's own
    binding is never touched.

    Parameters
    ----------
    path : str or os.PathLike
        The telemetry file, or a TID directory whose ``tm.meta`` names it.
    ini : str or os.PathLike, optional
        The workstation configuration file (default: ``$INI814``, else the home one).
    pool : RunPool, optional
        The workers to use (default: the package's, :func:`k814util.runs.set_max_workers`).

    Raises
    ------
    TelemetryFileNotFoundError
        At once, for a file that does not exist.
    BindingError
        On the first call, for a file that cannot be bound, with the binding's message.
    RunWorkerError
        When the worker dies during a call (the next call binds the run again).

    Examples
    --------
    >>> import k814util
    >>> with k814util.Run(tarn_tm) as tarn, k814util.Run(vireo_tm) as vireo:
    ...     print(tarn.mission(), len(tarn.series("SEB:HV_MON")["value"]))
    ...     print(vireo.mission(), vireo.packet_summary().packets)
    tarn 120
    vireo 195
    """

    def __init__(
        self, path: PathLike, ini: PathLike | None = None, pool: RunPool | None = None
    ) -> None:
        name = telemetry_file(path)
        if not os.path.isfile(name):
            raise TelemetryFileNotFoundError(f"tmfile does not exist: {name}")
        self.path = os.path.abspath(name)
        self.ini = None if ini is None else os.path.abspath(os.fspath(ini))
        self.pool = default_pool() if pool is None else pool
        self._mission = _mission_of(self.path)
        self._worker: _Worker | None = None
        self._finalizer = weakref.finalize(self, _release, weakref.ref(self.pool), id(self))

    def __repr__(self) -> str:
        state = "bound" if self._worker is not None else "not bound now (bound when asked)"
        return f"Run({self.path!r}, {self._mission or 'unknown mission'}, {state})"

    def _repr_html_(self) -> str:
        """A short HTML summary for notebooks.

        A run that a live worker holds answers with its file's summary (packets, time span,
        items with limits); one that is not says so and is not bound for it.

        Returns
        -------
        str
            The summary as HTML.
        """
        import pickle

        from k814util import _html

        if not self.bound:
            rows = [("file", self.path), ("mission", self._mission or "unknown")]
            return _html.table("Run", rows, "Not bound now: bound on its first call.")
        return _html.table(
            "Run", _html.facts_rows(self._ask("apply", pickle.dumps(_html.file_facts)))
        )

    def __enter__(self) -> Run:
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def close(self) -> None:
        """Ends the run's worker; a later call binds the run again.

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> run.mission(), run.bound
        ('tarn', True)
        >>> run.close()
        >>> run.bound
        False
        """
        self.pool.release(self)

    @property
    def bound(self) -> bool:
        """Whether a live worker holds the run now (else the next call binds it).

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> run.bound  # bound on the first call
        False
        >>> run.mission(), run.bound
        ('tarn', True)
        >>> run.close()
        """
        w = self._worker
        return w is not None and w.alive()

    @property
    def worker_pid(self) -> int | None:
        """The process id of the worker that holds the run, or is binding it now; None when
        there is none.

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> run.worker_pid is None
        True
        >>> run.mission(), run.worker_pid > 0
        ('tarn', True)
        >>> run.close()
        """
        return self.pool.worker_pid(self)

    def _ask(self, op: str, *payload):
        while True:
            w = self.pool.worker_for(self)
            with w.lock:
                # Between finding the worker and locking it, another caller may have made room
                # with it for another run: ask again then.
                if w.owner != id(self) or self._worker is not w:
                    continue
                try:
                    return w.ask(op, *payload)
                except RunWorkerError:
                    # Said once, here: the next call binds the run in a new worker silently.
                    self.pool.discard(w)
                    raise

    def _call(self, name: str, *args, **kwargs):
        return self._ask("call", name, args, kwargs)

    # The whole-file API, as values ------------------------------------------------------------

    def summary(self) -> dict:
        """The test's metadata and its packets, as the console's ``summary`` prints them.

        Returns
        -------
        dict
            ``test`` (:func:`k814util.describe_test`: metadata, configuration, paths) and
            ``packets`` (:meth:`TMFile.packet_summary` as a dict: count, time span, clock,
            types).

        Examples
        --------
        >>> import k814util
        >>> with k814util.Run(tarn_tm) as run:
        ...     s = run.summary()
        >>> s["test"]["meta"]["tid"], s["packets"]["packets"], s["packets"]["synced"]
        (12345, 771, True)
        """
        return self._call("summary")

    def items(self, pattern: str | None = None):
        """The database's items, as :meth:`TMFile.items` gives them.

        Parameters
        ----------
        pattern : str, optional
            A part of a mnemonic or a shell-style pattern.

        Returns
        -------
        pandas.DataFrame
            One row per item, indexed by id.

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> run.items("HV_MON")["mnemonic"].tolist()
        ['SEB:HV_MON']
        >>> run.close()
        """
        return self._call("items", pattern)

    def series(self, item, mode="sci", **window) -> dict:
        """Every value of one item, as :meth:`TMFile.series` gives them.

        Parameters
        ----------
        item : int or str
            A data id or a mnemonic.
        mode : str or int, optional
            "raw", "eng", "sci" (default) or 0-2.
        **window
            ``start``, ``end`` and ``window``, as :meth:`TMFile.series` takes them.

        Returns
        -------
        dict of numpy.ndarray
            ``unix_time``, ``relative_time``, ``value`` and ``packet``.

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> hv = run.series("SEB:HV_MON")
        >>> sorted(hv), len(hv["value"])
        (['packet', 'relative_time', 'unix_time', 'value'], 120)
        >>> run.close()
        """
        return self._call("series", item, mode, **window)

    def dataframe(self, items, mode="sci", layout="long", **window):
        """Values of several items with a UTC time index, as :meth:`TMFile.dataframe` gives them.

        Parameters
        ----------
        items : list of int or str
            Data ids or mnemonics.
        mode : str or int, optional
            "raw", "eng", "sci" (default) or 0-2.
        layout : {"long", "wide"}, optional
            A row per value, or a row per packet and sample.
        **window
            ``start``, ``end``, ``window``, ``resample`` and ``how``, as there.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> frame = run.dataframe(["SEB:HV_MON"])
        >>> len(frame), list(frame.columns)
        (120, ['item', 'value', 'relative_time', 'packet', 'sample'])
        >>> run.close()
        """
        return self._call("dataframe", items, mode, layout, **window)

    def packets(self, **window):
        """One row per packet, as :meth:`TMFile.packets` gives them.

        Parameters
        ----------
        **window
            ``start``, ``end`` and ``window``, as there.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> len(run.packets())
        771
        >>> run.close()
        """
        return self._call("packets", **window)

    def messages(self, **window):
        """The message log, as :meth:`TMFile.messages` gives it.

        Parameters
        ----------
        **window
            ``start``, ``end`` and ``window``, as there.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> len(run.messages())
        7
        >>> run.close()
        """
        return self._call("messages", **window)

    def markers(self):
        """The TARN marker packets, as :meth:`TMFile.markers` gives them.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> len(run.markers())
        4
        >>> run.close()
        """
        return self._call("markers")

    def vireo_markers(self):
        """The VIREO test markers, as :meth:`TMFile.vireo_markers` gives them.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(vireo_tm)
        >>> len(run.vireo_markers())
        5
        >>> run.close()
        """
        return self._call("vireo_markers")

    def meta_markers(self):
        """The rule files' meta-markers (TARN), as :meth:`TMFile.meta_markers` gives them.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> len(run.meta_markers())
        5
        >>> run.close()
        """
        return self._call("meta_markers")

    def tarn_markers(self):
        """The TARN markers as records, as :meth:`TMFile.tarn_markers` gives them.

        Returns
        -------
        list of TarnMarker

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> m = run.tarn_markers()[0]
        >>> m.marker_id, m.text
        (1, 'step 1: warm-up')
        >>> run.close()
        """
        return self._call("tarn_markers")

    def packet_summary(self):
        """Packet count, time span, clock and types, as :meth:`TMFile.packet_summary` gives them.

        Returns
        -------
        PacketSummary

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> s = run.packet_summary()
        >>> s.packets, s.synced
        (771, True)
        >>> run.close()
        """
        return self._call("packet_summary")

    def packet_types(self):
        """The count of each packet type, as :meth:`TMFile.packet_types` gives it.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> run.packet_types().loc[[22, 26], ["name", "count"]]
                        name  count
        type
        22            SEB_HK    120
        26    SCIENCE_SINGLE    376
        >>> run.close()
        """
        return self._call("packet_types")

    def seb_sequences(self):
        """The SEB command sequences (TARN), as :meth:`TMFile.seb_sequences` gives them.

        Returns
        -------
        list of SebSequence

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> len(run.seb_sequences())
        5
        >>> run.close()
        """
        return self._call("seb_sequences")

    def seb_commands(self):
        """Every SEB command (TARN), as :meth:`TMFile.seb_commands` gives them.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> len(run.seb_commands())
        25
        >>> run.close()
        """
        return self._call("seb_commands")

    def limits(self):
        """The items that have limits, as :meth:`TMFile.limits` gives them.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> run.limits()["mnemonic"].tolist()
        ['SEB:T_BOARD', 'CDH:V_BUS', 'LIM:PRESSURE', 'LIM:CURRENT', 'LIM:STATE']
        >>> run.close()
        """
        return self._call("limits")

    def limit_violations(self, items=None, level="yellow", **window):
        """The spans in which values left their limits (:meth:`TMFile.limit_violations`).

        Parameters
        ----------
        items : int, str or list of them, optional
            Ids or mnemonics (default: every item with limits).
        level : {"yellow", "red"}, optional
            "red" leaves the yellow spans out.
        **window
            ``start``, ``end`` and ``window``, as there.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> run.limit_violations(level="red")[["mnemonic", "level", "open"]]
            mnemonic level   open
        0     CDH:V_BUS   red   True
        1  LIM:PRESSURE   red  False
        2     LIM:STATE   red  False
        >>> run.close()
        """
        return self._call("limit_violations", items, level, **window)

    def to_xarray(self, items, mode="sci", **window):
        """The values of items as an xarray Dataset, each item on its own time axis.

        As :meth:`TMFile.to_xarray` makes it, in the run's worker.

        Parameters
        ----------
        items : int, str or list of them
            Data ids or mnemonics.
        mode : str or int, optional
            "raw", "eng", "sci" (default) or 0-2.
        **window
            ``start``, ``end`` and ``window``, as :meth:`TMFile.to_xarray` takes them.

        Returns
        -------
        xarray.Dataset

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> ds = run.to_xarray(["SEB:HV_MON"])
        >>> ds["SEB_HV_MON"].size
        120
        >>> run.close()
        """
        return self._call("to_xarray", items, mode, **window)

    def mission(self) -> str:
        """The mission the binding read from tm.meta.

        Returns
        -------
        str
            "tarn" or "vireo".

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> run.mission()
        'tarn'
        >>> run.close()
        """
        return self._call("mission")

    def scans(self):
        """The per-scan table of a TARN run (:meth:`k814util.Spectra.table`).

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> table = run.scans()
        >>> len(table), table["mode"].iloc[0]
        (21, 'LDI')
        >>> run.close()
        """
        return self._call("scan_table")

    def spectra(
        self,
        start: int = 0,
        stop: int | None = None,
        skip_zero_id_markers: bool = False,
        average_summed_scans: bool = False,
    ):
        """The scans ``start`` to ``stop - 1`` of a TARN run as :class:`k814util.Spectra`.

        The result carries the arrays and the table; its ``tic``, ``xic``, ``peaks`` and
        ``average`` of the whole work on them, but windows of ``average`` need the binding: ask
        the run with :meth:`apply` for those.

        Parameters
        ----------
        start, stop : int, optional
            The scans to take, clipped like a slice (default: all).
        skip_zero_id_markers : bool, optional
            Pass over markers of id 0 when finding each scan's marker.
        average_summed_scans : bool, optional
            Divide summed scans' counts by the number of scans summed.

        Returns
        -------
        Spectra

        Examples
        --------
        >>> import k814util
        >>> with k814util.Run(tarn_tm) as run:
        ...     sp = run.spectra(0, 5)
        >>> len(sp), sp.table()["mode"].tolist()
        (5, ['LDI', 'LDI', 'LDI', 'LDI', 'LDI'])
        """
        return self._call("spectra", start, stop, skip_zero_id_markers, average_summed_scans)

    def refresh(self, stale_after: float = 5.0) -> int:
        """Reads what the station appended since, as :meth:`TMFile.refresh` does.

        Parameters
        ----------
        stale_after : float, optional
            Seconds a file keeps its size before what waits unfinished at its end is read anyway.

        Returns
        -------
        int
            The number of new packets.

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> run.refresh()  # the sample is complete: nothing new
        0
        >>> run.close()
        """
        return self._call("refresh", stale_after)

    def diagnostics(self):
        """The diagnostic lines of the run's binding, oldest first.

        Returns
        -------
        list of Diagnostic
            Each with its kind and text; ``.dropped`` counts the lines not kept.

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> lines = run.diagnostics()  # the sample's damaged bytes, reported as they are skipped
        >>> len(lines) > 0, lines.dropped
        (True, 0)
        >>> run.close()
        """
        from k814util.diagnostics import BindingDiagnostics

        lines, dropped = self._ask("diagnostics")
        result = BindingDiagnostics(lines)
        result.dropped = dropped
        return result

    def diagnostics_count(self) -> int:
        """How many lines the run's binding has had, kept or not (no lines, as
        :meth:`diagnostics` gives them).

        Returns
        -------
        int

        Examples
        --------
        >>> import k814util
        >>> run = k814util.Run(tarn_tm)
        >>> run.diagnostics_count() == len(run.diagnostics())
        True
        >>> run.close()
        """
        return self._ask("count")

    def apply(self, func: Callable[[Any], Any]):
        """Calls ``func(tmfile)`` in the run's worker, on its bound :class:`TMFile`.

        Parameters
        ----------
        func : callable
            Travels pickled with cloudpickle (installed with the ``analysis`` extra's dask), so
            it may be a lambda or a closure.

        Returns
        -------
        object
            What ``func`` returns, pickled back.

        Raises
        ------
        Exception
            What ``func`` raised, with the worker's traceback as its cause.

        Examples
        --------
        >>> import k814util
        >>> with k814util.Run(tarn_tm) as run:
        ...     run.apply(lambda f: f.tid())
        12345
        """
        import cloudpickle

        return self._ask("apply", cloudpickle.dumps(func))


def _release(pool_ref, run_id: int) -> None:
    """Closes the worker of a run that was collected without close()."""
    pool = pool_ref()
    if pool is None:
        return
    with pool._lock:
        doomed = [k for k, w in pool._workers.items() if w.owner == run_id]
        workers = [pool._workers.pop(k) for k in doomed]
    for w in workers:
        if w.lock.acquire(timeout=5):
            try:
                w.close()
            finally:
                w.lock.release()


def _mission_of(path: str) -> str | None:
    """The mission tm.meta names for the file's test (lower case), without binding; None when
    there is no valid tm.meta."""
    from k814util import k814util as _k

    meta = _k._archive_test_meta(os.path.dirname(path))
    return meta["mission"].lower() if meta["valid"] else None
