"""Running the quick-look server in the background of a script: for demonstrations, tests and
benchmarks that talk to a real server over HTTP."""

from __future__ import annotations

import contextlib
import threading
import time
from collections.abc import Iterator

__all__ = ["running"]


@contextlib.contextmanager
def running(app, host: str = "127.0.0.1", port: int = 0, timeout: float = 30.0) -> Iterator[str]:
    """Serves app with uvicorn from a thread while the block runs.

    Parameters
    ----------
    app : starlette.applications.Starlette
        The application (:func:`k814util.web.create_app`).
    host : str, optional
        The address to listen on (default: this machine only).
    port : int, optional
        The port; 0 (the default) takes a free one.
    timeout : float, optional
        How long to wait for the server to start (seconds).

    Yields
    ------
    str
        The server's base URL, such as ``"http://127.0.0.1:41234"``.

    Raises
    ------
    RuntimeError
        When the server has not started within ``timeout`` seconds.

    Examples
    --------
    >>> import httpx
    >>> from k814util.web import create_app
    >>> from k814util.web.server import running
    >>> app = create_app(["build/sample-archive"], "build/sample-archive/.814config.INI")
    >>> with running(app) as base:
    ...     runs = httpx.get(base + "/api/v1/runs").json()["runs"]
    >>> [run["tid"] for run in runs]
    [12345, 23456]
    """
    import uvicorn

    config = uvicorn.Config(
        app, host=host, port=port, log_level="warning", lifespan="on", timeout_graceful_shutdown=2
    )
    server = uvicorn.Server(config)
    # uvicorn leaves signals alone outside the main thread: leaving the block stops it.
    thread = threading.Thread(target=server.run, name="k814util-web", daemon=True)
    thread.start()
    deadline = time.monotonic() + timeout
    while not server.started:
        if not thread.is_alive() or time.monotonic() > deadline:
            server.should_exit = True
            raise RuntimeError(f"the quick-look server did not start on {host}:{port}")
        time.sleep(0.02)
    bound = server.servers[0].sockets[0].getsockname()
    try:
        yield f"http://{host}:{bound[1]}"
    finally:
        server.should_exit = True
        thread.join(timeout)
