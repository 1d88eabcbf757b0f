"""The quick-look server's application: the HTTP API under ``/api/v1``, the page and its files.

Every answer about a run comes from the run's worker process (:mod:`k814util.web.runs`); this
process only reads catalogues, checks requests and turns the workers' answers into JSON.
"""

from __future__ import annotations

import asyncio
import json
import math
import os
import secrets
import time
from typing import Any

try:
    from starlette.applications import Starlette
    from starlette.exceptions import HTTPException
    from starlette.requests import Request
    from starlette.responses import FileResponse, JSONResponse, Response, StreamingResponse
    from starlette.routing import Mount, Route
    from starlette.staticfiles import StaticFiles
except ImportError as _error:  # pragma: no cover - depends on the installation
    raise ImportError(
        f"the quick-look server needs Starlette and uvicorn ({_error}); install them with "
        "pip install 'k814util[web]'"
    ) from _error

import numpy as np

from k814util.web import _work
from k814util.web.catalogue import CatalogueEntry, RunCatalogue
from k814util.web.runs import BindFailed, RunManager

__all__ = [
    "DEFAULT_MAX_POINTS",
    "MAX_POINTS",
    "MAX_ROWS",
    "TOKEN_COOKIE",
    "create_app",
]

#: Points a series answer holds when the request does not say.
DEFAULT_MAX_POINTS = 2000
#: The most points a series answer may hold, whatever the request asks.
MAX_POINTS = 20000
#: The most rows a table answer holds (``offset`` and ``limit`` page through more).
MAX_ROWS = 10000
#: The cookie that carries the token for the page's own requests.
TOKEN_COOKIE = "k814_token"
# The longest query string and body a request may have: the API takes a few short parameters.
_MAX_QUERY = 2048
_MAX_BODY = 0
# How often the event stream asks a run for growth (seconds), and how often it says it lives.
_POLL_SECONDS = 0.5
_KEEPALIVE_SECONDS = 15.0
# The catalogue is walked again for /runs when older than this (runs a station adds).
_CATALOGUE_AGE = 10.0

_STATIC = os.path.join(os.path.dirname(__file__), "static")


class _ApiError(Exception):
    """A request answered with an error status and a message."""

    def __init__(self, status: int, message: str):
        super().__init__(message)
        self.status = status
        self.message = message


def _plotly_path() -> str:
    """The plotly package's own copy of plotly.js."""
    try:
        import plotly
    except ImportError:
        raise _ApiError(404, "plotly is not installed: pip install 'k814util[web]'") from None
    return os.path.join(os.path.dirname(plotly.__file__), "package_data", "plotly.min.js")


def _jsonable(value: Any) -> Any:
    """Arrays as lists and NaN as null, all the way down."""
    if isinstance(value, np.ndarray):
        return _work.finite_list(value)
    if isinstance(value, dict):
        return {k: _jsonable(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [_jsonable(v) for v in value]
    if isinstance(value, np.generic):
        return _jsonable(value.item())
    if isinstance(value, float) and not math.isfinite(value):
        return None
    return value


def _answer(value: Any, status: int = 200) -> JSONResponse:
    return JSONResponse(_jsonable(value), status_code=status)


def _error(status: int, message: str) -> JSONResponse:
    return JSONResponse({"error": message}, status_code=status)


def _number(request: Request, name: str) -> float | None:
    text = request.query_params.get(name)
    if text is None or text == "":
        return None
    try:
        value = float(text)
    except ValueError:
        raise _ApiError(400, f"{name} must be a number of relative seconds, not {text!r}") from None
    if not math.isfinite(value):
        raise _ApiError(400, f"{name} must be a finite number of seconds, not {text!r}")
    return value


class _Server:
    """The state the routes share: the catalogue, the runs and the token."""

    def __init__(self, catalogue: RunCatalogue, manager: RunManager, token: str | None):
        self.catalogue = catalogue
        self.manager = manager
        self.token = token

    def entry(self, request: Request) -> CatalogueEntry:
        run_id = request.path_params["run_id"]
        entry = self.catalogue.get(run_id)
        if entry is None:
            raise _ApiError(404, f"no run has the id {run_id!r}")
        return entry

    async def ask(self, request: Request, func, *args) -> Any:
        entry = self.entry(request)
        try:
            return await self.manager.acall(entry, func, *args)
        except BindFailed as exc:
            raise _ApiError(422, str(exc)) from None
        except _work.NotFound as exc:
            raise _ApiError(404, str(exc)) from None
        except (LookupError, ValueError, TypeError) as exc:
            # Unknown items (with their close matches), bad modes, windows and ranges.
            raise _ApiError(400, str(exc)) from None


# Routes ---------------------------------------------------------------------------------------


async def _index(request: Request) -> Response:
    page = os.path.join(_STATIC, "index.html")
    if os.path.isfile(page):
        response: Response = FileResponse(page, headers={"Cache-Control": "no-cache"})
    else:
        response = _error(404, "the page is not installed (k814util/web/static/index.html)")
    server: _Server = request.app.state.server
    given = request.query_params.get("token")
    if server.token is not None and given is not None:
        # The page's own requests then carry the token without putting it in every URL (the
        # guard has checked it already).
        response.set_cookie(TOKEN_COOKIE, given, httponly=True, samesite="strict")
    return response


async def _plotly_js(request: Request) -> Response:
    path = _plotly_path()
    if not os.path.isfile(path):
        return _error(404, f"plotly.js is missing from the plotly package ({path})")
    return FileResponse(path, media_type="text/javascript")


async def _runs(request: Request) -> Response:
    server: _Server = request.app.state.server
    import anyio.to_thread

    await anyio.to_thread.run_sync(server.catalogue.refresh_if_older, _CATALOGUE_AGE)
    return _answer({"runs": [e.as_json() for e in server.catalogue.entries()]})


async def _status(request: Request) -> Response:
    server: _Server = request.app.state.server
    return _answer(server.manager.status(server.entry(request)))


async def _run_summary(request: Request) -> Response:
    server: _Server = request.app.state.server
    found = await server.ask(request, _work.summary)
    return _answer({"id": request.path_params["run_id"], **found})


async def _items(request: Request) -> Response:
    server: _Server = request.app.state.server
    pattern = request.query_params.get("pattern") or None
    return _answer(await server.ask(request, _work.items, pattern))


async def _series(request: Request) -> Response:
    server: _Server = request.app.state.server
    q = request.query_params
    item = q.get("item", "").strip()
    if not item:
        raise _ApiError(400, "series needs an item: ?item=MNEMONIC or a data id")
    mode = q.get("mode", "sci")
    if mode.lower() not in ("raw", "eng", "sci", "0", "1", "2"):
        raise _ApiError(400, f"mode must be one of 'raw', 'eng', 'sci' or 0-2, not {mode!r}")
    mode = int(mode) if mode.isdigit() else mode.lower()
    start, end = _number(request, "start"), _number(request, "end")
    if start is not None and end is not None and end < start:
        raise _ApiError(400, f"end {end} lies before start {start}")
    max_points = _whole(request, "max_points", DEFAULT_MAX_POINTS, 4, MAX_POINTS)
    found = await server.ask(request, _work.series, item, mode, start, end, max_points)
    return _answer(found)


def _whole(request: Request, name: str, default: int, low: int, high: int) -> int:
    text = request.query_params.get(name)
    if text is None or text == "":
        return default
    try:
        value = int(text)
    except ValueError:
        raise _ApiError(400, f"{name} must be a whole number, not {text!r}") from None
    if not low <= value <= high:
        raise _ApiError(400, f"{name} must lie between {low} and {high}, not {value}")
    return value


def _page(request: Request) -> tuple[int, int]:
    """The rows a table request asks for: ``offset`` (default 0) and ``limit`` (default and
    most: MAX_ROWS)."""
    return _whole(request, "offset", 0, 0, 2**62), _whole(request, "limit", MAX_ROWS, 1, MAX_ROWS)


def _table(name: str):
    async def endpoint(request: Request) -> Response:
        server: _Server = request.app.state.server
        return _answer(await server.ask(request, _work.table, name, *_page(request)))

    endpoint.__name__ = name.replace("-", "_")
    return endpoint


async def _scans(request: Request) -> Response:
    server: _Server = request.app.state.server
    return _answer(await server.ask(request, _work.scans, *_page(request)))


async def _scan(request: Request) -> Response:
    server: _Server = request.app.state.server
    text = request.path_params["index"]
    if not text.isdigit() or len(text) > 12:
        raise _ApiError(404, f"no scan {text!r}: scans are numbered 0, 1, ...")
    return _answer(await server.ask(request, _work.scan, int(text)))


async def _tic(request: Request) -> Response:
    server: _Server = request.app.state.server
    start, end = _number(request, "start"), _number(request, "end")
    if start is not None and end is not None and end < start:
        raise _ApiError(400, f"end {end} lies before start {start}")
    max_points = _whole(request, "max_points", MAX_POINTS, 4, MAX_POINTS)
    return _answer(await server.ask(request, _work.tic, start, end, max_points))


async def _not_found(request: Request, exc: Exception) -> Response:
    return _error(404, f"nothing at {request.url.path}")


async def _http_error(request: Request, exc: HTTPException) -> Response:
    return _error(exc.status_code, str(exc.detail))


async def _api_error(request: Request, exc: _ApiError) -> Response:
    return _error(exc.status, exc.message)


async def _server_error(request: Request, exc: Exception) -> Response:
    return _error(500, f"{type(exc).__name__}: {exc}")


# Security -------------------------------------------------------------------------------------


class _Guard:
    """Refuses requests with oversized queries or bodies, and, when a token is required,
    requests that do not carry it (``?token=``, ``Authorization: Bearer`` or the page's
    cookie)."""

    def __init__(self, app, token: str | None):
        self.app = app
        self.token = token

    async def __call__(self, scope, receive, send):
        if scope["type"] != "http":
            return await self.app(scope, receive, send)
        headers = {k.decode("latin-1").lower(): v.decode("latin-1") for k, v in scope["headers"]}
        if len(scope.get("query_string", b"")) > _MAX_QUERY:
            return await _send(scope, receive, send, _error(414, "the query string is too long"))
        length = headers.get("content-length", "0")
        if not length.isdigit() or int(length) > _MAX_BODY:
            return await _send(scope, receive, send, _error(413, "requests take no body"))
        if self.token is None and not _loopback(headers.get("host", "")):
            # Without a token only this machine may ask, by its loopback name: a page of
            # another site whose name was made to point here (DNS rebinding) reads nothing.
            message = "this server answers requests to 127.0.0.1 or localhost only (no token)"
            return await _send(scope, receive, send, _error(403, message))
        if self.token is not None and not self._carries_token(scope, headers):
            response = _error(401, "this server needs its token: add ?token=... to the URL")
            response.headers["WWW-Authenticate"] = "Bearer"
            return await _send(scope, receive, send, response)
        return await self.app(scope, receive, send)

    def _carries_token(self, scope, headers: dict) -> bool:
        from http.cookies import SimpleCookie
        from urllib.parse import parse_qs

        offered = []
        query = parse_qs(scope.get("query_string", b"").decode("latin-1"))
        offered += query.get("token", [])
        auth = headers.get("authorization", "")
        if auth.lower().startswith("bearer "):
            offered.append(auth[7:].strip())
        cookie = SimpleCookie()
        try:
            cookie.load(headers.get("cookie", ""))
        except Exception:  # a malformed cookie header carries no token
            pass
        if TOKEN_COOKIE in cookie:
            offered.append(cookie[TOKEN_COOKIE].value)
        expected = self.token.encode()
        return any(secrets.compare_digest(o.encode(), expected) for o in offered)


def _loopback(host: str) -> bool:
    """Whether a Host header names this machine's loopback address (any port)."""
    name = host.rsplit(":", 1)[0] if not host.endswith("]") else host
    if name.startswith("[") and "]" in name:
        name = name[1 : name.index("]")]
    return name.lower() in ("127.0.0.1", "localhost", "::1")


async def _send(scope, receive, send, response: Response) -> None:
    await response(scope, receive, send)


# Events ---------------------------------------------------------------------------------------


class _Watch:
    """One run's growth, polled once for every client that watches it."""

    def __init__(self):
        self.lock = asyncio.Lock()
        self.when = 0.0
        self.state: dict | None = None


async def _events(request: Request) -> Response:
    server: _Server = request.app.state.server
    entry = server.entry(request)
    watches: dict = request.app.state.watches
    watch = watches.setdefault(entry.id, _Watch())

    async def poll() -> dict:
        async with watch.lock:
            if watch.state is None or time.monotonic() - watch.when >= _POLL_SECONDS:
                watch.state = await server.manager.acall(entry, _work.growth)
                watch.when = time.monotonic()
            return watch.state

    try:
        first = await poll()
    except BindFailed as exc:
        raise _ApiError(422, str(exc)) from None

    async def stream():
        request.app.state.streams += 1
        try:
            seen = {"packets": first["packets"], "messages": first["messages"]}
            seen["markers"] = first["markers"]
            quiet = time.monotonic()
            yield ": watching " + entry.id + "\n\n"
            while True:
                if await request.is_disconnected():
                    return
                await asyncio.sleep(_POLL_SECONDS)
                try:
                    state = await poll()
                except Exception as exc:  # the run failed while watched: say so and stop
                    yield _event("error", {"error": str(exc)})
                    return
                said = False
                if state["packets"] != seen["packets"]:
                    seen["packets"] = state["packets"]
                    data = {k: state[k] for k in ("packets", "last_relative_time")}
                    yield _event("packets", data)
                    said = True
                if state["messages"] > seen["messages"]:
                    new = [m for m in state["recent_messages"] if m["index"] >= seen["messages"]]
                    seen["messages"] = state["messages"]
                    yield _event("messages", {"messages": state["messages"], "new": new})
                    said = True
                if state["markers"] > seen["markers"]:
                    new = [m for m in state["recent_markers"] if m["index"] >= seen["markers"]]
                    seen["markers"] = state["markers"]
                    yield _event("markers", {"markers": state["markers"], "new": new})
                    said = True
                if said:
                    quiet = time.monotonic()
                elif time.monotonic() - quiet >= _KEEPALIVE_SECONDS:
                    quiet = time.monotonic()
                    yield ": keepalive\n\n"
        finally:
            request.app.state.streams -= 1

    headers = {"Cache-Control": "no-cache", "X-Accel-Buffering": "no"}
    return StreamingResponse(stream(), media_type="text/event-stream", headers=headers)


def _event(name: str, data: dict) -> str:
    return f"event: {name}\ndata: {json.dumps(_jsonable(data), allow_nan=False)}\n\n"


# The application ------------------------------------------------------------------------------


def create_app(
    paths: list[str] | None = None,
    ini: str | None = None,
    token: str | None = None,
    workers: int = 3,
    catalogue: RunCatalogue | None = None,
):
    """The quick-look server as an ASGI application (Starlette).

    Parameters
    ----------
    paths : list of str, optional
        Archive roots, TID directories or telemetry files to serve (default: the
        configuration's data roots).
    ini : str, optional
        The workstation configuration file (default: ``$INI814``, else the home one).
    token : str, optional
        When given, every request must carry it (``?token=``, ``Authorization: Bearer`` or
        the cookie the page gets when ``/`` is loaded with ``?token=``); others get 401.
        Without one, only requests addressed to 127.0.0.1, ::1 or localhost are answered
        (others get 403).
    workers : int, optional
        How many runs are bound at once, each in a worker process (default 3).
    catalogue : RunCatalogue, optional
        A catalogue made already (``paths`` and ``ini`` are then not read).

    Returns
    -------
    starlette.applications.Starlette
        The application; ``app.state.server.manager.close()`` ends the run workers (done
        when the application's lifespan ends).

    Raises
    ------
    FileNotFoundError
        When a path given does not exist.
    ValueError
        When a telemetry file given does not lie in a test's folder.

    Examples
    --------
    The sample archive's runs, asked for as a browser on this machine would (without a token,
    a request must name 127.0.0.1 or localhost as its host):

    >>> from starlette.testclient import TestClient
    >>> from k814util.web import create_app
    >>> app = create_app(["build/sample-archive"], "build/sample-archive/.814config.INI")
    >>> with TestClient(app, base_url="http://127.0.0.1:8814") as client:
    ...     runs = client.get("/api/v1/runs").json()["runs"]
    >>> for run in runs:
    ...     print(run["mission"], run["id"])
    tarn tarn_fm~data~tarn~2012-04-02-12.35.42-12345-tarn_sample
    vireo vireo~data~vireo~2016-09-14-09.05.10-23456-vireo_sample
    """
    import contextlib

    catalogue = catalogue if catalogue is not None else RunCatalogue(paths, ini)
    manager = RunManager(catalogue.ini, workers)
    server = _Server(catalogue, manager, token)

    @contextlib.asynccontextmanager
    async def lifespan(app):
        try:
            yield
        finally:
            manager.close()

    api = "/api/v1/runs/{run_id}"
    routes = [
        Route("/", _index),
        Route("/static/vendor/plotly.min.js", _plotly_js),
        Route("/api/v1/runs", _runs),
        Route(api, _run_summary),
        Route(api + "/status", _status),
        Route(api + "/items", _items),
        Route(api + "/series", _series),
        *[Route(f"{api}/{name}", _table(name)) for name in _work.TABLES],
        Route(api + "/scans", _scans),
        Route(api + "/scans/{index}", _scan),
        Route(api + "/tic", _tic),
        Route(api + "/events", _events),
    ]
    if os.path.isdir(_STATIC):
        routes.append(Mount("/static", app=StaticFiles(directory=_STATIC), name="static"))
    app = Starlette(
        routes=routes,
        exception_handlers={
            404: _not_found,
            HTTPException: _http_error,
            _ApiError: _api_error,
            Exception: _server_error,
        },
        lifespan=lifespan,
    )
    app.state.server = server
    app.state.watches = {}
    #: Event streams open now (a client that goes away closes its own).
    app.state.streams = 0
    app.add_middleware(_Guard, token=token)
    return app
