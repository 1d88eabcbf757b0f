"""The runs the quick-look server has bound: one :class:`k814util.Run` per catalogued run, in
worker processes of the server's own pool (a few at once, the least recently used closed
first), each asked from a thread so that the event loop keeps answering while a file binds.
"""

from __future__ import annotations

import asyncio
import functools
import os
import threading
import time
from typing import Any, Callable

from k814util.web._work import Call
from k814util.web.catalogue import CatalogueEntry

__all__ = ["BindFailed", "RunManager", "RunState"]


class BindFailed(RuntimeError):
    """The run cannot be bound; the message is the binding's."""


class RunState:
    """What the server knows about one run: its :class:`k814util.Run` (made on first use) and
    the state of its binding.

    Parameters
    ----------
    entry : CatalogueEntry
        The catalogued run.

    Examples
    --------
    >>> from k814util.web.catalogue import CatalogueEntry
    >>> RunState(CatalogueEntry("x", "/data", {"telemetry_file": "/data/x/a.tlm"})).state
    'idle'
    """

    def __init__(self, entry: CatalogueEntry):
        self.entry = entry
        self.run = None
        #: "idle", "binding", "ready" or "failed".
        self.state = "idle"
        self.message = ""
        self.started = 0.0
        self.failed_size: tuple = ()
        self.lock = threading.Lock()


def _read_position(pid: int, path: str) -> int | None:
    """How far process pid has read the file at path: the furthest offset of its descriptors
    on it (Linux's /proc; None elsewhere or when it has none open)."""
    fds = f"/proc/{pid}/fd"
    try:
        names = os.listdir(fds)
    except OSError:
        return None
    best = None
    for name in names:
        try:
            if os.readlink(os.path.join(fds, name)) != path:
                continue
            with open(f"/proc/{pid}/fdinfo/{name}") as info:
                for line in info:
                    if line.startswith("pos:"):
                        best = max(best or 0, int(line.split()[1]))
        except OSError:
            continue
    return best


class RunManager:
    """The server's runs: binds them in a :class:`k814util.runs.RunPool` of its own and
    answers calls on them from threads.

    Parameters
    ----------
    ini : str
        The workstation configuration the runs are bound with.
    workers : int, optional
        How many runs are bound at once (default 3); asking another closes the least recently
        used, which binds again when next asked.

    Examples
    --------
    >>> from k814util.web.catalogue import RunCatalogue
    >>> from k814util.web.runs import RunManager
    >>> ini = "build/sample-archive/.814config.INI"
    >>> tarn = RunCatalogue(["build/sample-archive"], ini).entries()[0]
    >>> manager = RunManager(ini, workers=2)
    >>> manager.call(tarn, len)  # the TARN run's packets, counted in its worker
    771
    >>> manager.close()
    1
    """

    def __init__(self, ini: str, workers: int = 3):
        from k814util.runs import RunPool

        self.ini = ini
        self.pool = RunPool(max_workers=workers)
        self._states: dict[str, RunState] = {}
        self._lock = threading.Lock()
        self._asked: dict = {}

    def state(self, entry: CatalogueEntry) -> RunState:
        """The state of a catalogued run.

        Parameters
        ----------
        entry : CatalogueEntry
            The run.

        Returns
        -------
        RunState
            Made idle on first sight (and again for a run whose file changed its path).
        """
        with self._lock:
            found = self._states.get(entry.id)
            if found is None or found.entry.telemetry_file != entry.telemetry_file:
                found = self._states[entry.id] = RunState(entry)
            return found

    def status(self, entry: CatalogueEntry) -> dict:
        """The run's binding as the status endpoint gives it; never waits.

        Parameters
        ----------
        entry : CatalogueEntry
            The run.

        Returns
        -------
        dict
            ``id``, ``state`` ("idle", "binding", "ready", "failed"), ``progress`` and
            ``message``. ``progress`` is the share of the file the worker has read while it
            binds (seen in the worker's open file where the system shows it, as Linux's
            /proc does; elsewhere null, and the message says how long it has been binding),
            1 when ready, null otherwise.
        """
        s = self.state(entry)
        progress = None
        message = s.message
        state = s.state
        if state == "ready" and (s.run is None or not s.run.bound):
            state, message = "idle", "not bound now (bound again when asked)"
        if state == "binding":
            elapsed = time.monotonic() - s.started
            done = self._bytes_read(s)
            size = entry.row.get("size") or 0
            if done is not None and size:
                progress = min(1.0, done / size)
                message = f"binding: {done / 1e6:.1f} of {size / 1e6:.1f} MB read"
            else:
                message = f"binding for {elapsed:.1f} s"
        elif state == "ready":
            progress = 1.0
        return {"id": entry.id, "state": state, "progress": progress, "message": message}

    def _bytes_read(self, s: RunState) -> int | None:
        run = s.run
        if run is None:
            return None
        pid = run.worker_pid
        return None if pid is None else _read_position(pid, os.path.realpath(run.path))

    def _bound_run(self, s: RunState):
        """The run of s, bound (binding it now if needed); raises BindFailed."""
        import k814util

        with s.lock:
            if s.state == "failed":
                if _signature(s.entry) == s.failed_size:  # the same files fail the same way
                    raise BindFailed(s.message)
            if s.run is None or not s.run.bound:
                s.state, s.started, s.message = "binding", time.monotonic(), ""
                try:
                    if s.run is None:
                        s.run = k814util.Run(s.entry.telemetry_file, self.ini, pool=self.pool)
                    s.run.mission()  # binds
                except (k814util.BindingError, k814util.TelemetryFileNotFoundError) as exc:
                    s.state, s.message = "failed", str(exc)
                    s.failed_size = _signature(s.entry)
                    raise BindFailed(s.message) from None
                except Exception as exc:  # a worker that died while binding, say
                    s.state, s.message = "failed", f"{type(exc).__name__}: {exc}"
                    s.failed_size = _signature(s.entry)
                    raise BindFailed(s.message) from None
                s.state, s.message = "ready", "bound"
            return s.run

    def call(self, entry: CatalogueEntry, func: Callable[..., Any], *args) -> Any:
        """``func(tmfile, *args)`` in the run's worker, binding the run first if needed.

        Blocks: call it from a thread (:meth:`acall`).

        Parameters
        ----------
        entry : CatalogueEntry
            The run.
        func : callable
            A module-level function (it travels to the worker by name).
        *args
            Its arguments after the TMFile.

        Returns
        -------
        object
            What func returned there.

        Raises
        ------
        BindFailed
            When the run cannot be bound (the binding's message); a run that failed is tried
            again only once its telemetry file or its tm.meta has changed.
        """
        run = self._bound_run(self.state(entry))
        return run.apply(Call(func, *args))

    async def acall(self, entry: CatalogueEntry, func: Callable[..., Any], *args) -> Any:
        """:meth:`call` from a thread, so that the event loop stays free.

        Requests alike (same run, function and arguments) made while one is being answered
        wait for that answer instead of asking the worker again: twenty pages polling one run
        cost the worker one call.

        Parameters
        ----------
        entry : CatalogueEntry
            The run.
        func : callable
            A module-level function.
        *args
            Its arguments after the TMFile (hashable).

        Returns
        -------
        object
            What func returned in the worker.
        """
        import anyio.to_thread

        key = (entry.id, entry.telemetry_file, func.__name__, args)
        task = self._asked.get(key)
        if task is None:
            task = asyncio.ensure_future(anyio.to_thread.run_sync(self.call, entry, func, *args))
            self._asked[key] = task
            task.add_done_callback(functools.partial(self._answered, key))
        # A client that goes away does not cancel the answer the others wait for.
        return await asyncio.shield(task)

    def _answered(self, key, task: asyncio.Future) -> None:
        if self._asked.get(key) is task:
            del self._asked[key]
        if not task.cancelled():
            task.exception()  # retrieved: nobody may be waiting any more

    def close(self) -> int:
        """Closes every run's worker.

        Returns
        -------
        int
            How many workers were closed.
        """
        return self.pool.close()


def _signature(entry: CatalogueEntry) -> tuple:
    """What tells whether a run that failed to bind may bind now: its telemetry file's size
    and its metadata's modification time."""
    found = []
    for path in (
        entry.telemetry_file,
        os.path.join(os.path.dirname(entry.telemetry_file), "tm.meta"),
    ):
        try:
            info = os.stat(path)
            found.append((info.st_size, info.st_mtime_ns))
        except OSError:
            found.append(None)
    return tuple(found)
