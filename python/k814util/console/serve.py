"""serve: the quick-look server on an archive, a TID directory or a telemetry file."""

from __future__ import annotations

import argparse
import secrets
import socket
import sys

from k814util.console.common import Failure, positive_int

#: Addresses that only this machine reaches: served without a token unless one is given.
LOCAL_HOSTS = ("127.0.0.1", "localhost", "::1")


def url(host: str, port: int, token: str | None) -> str:
    """The address to open in a browser.

    Parameters
    ----------
    host : str
        The address the server listens on ("0.0.0.0" and "::" are shown as this machine's
        name, which other machines can reach).
    port : int
        Its port.
    token : str or None
        The token requests must carry, added as ``?token=``.

    Returns
    -------
    str
        The URL of the page.

    Examples
    --------
    >>> url("127.0.0.1", 8814, None)
    'http://127.0.0.1:8814/'
    >>> url("127.0.0.1", 8814, "abc")
    'http://127.0.0.1:8814/?token=abc'
    >>> url("127.0.0.1", 8814, "a b&c")
    'http://127.0.0.1:8814/?token=a%20b%26c'
    """
    shown = socket.gethostname() if host in ("0.0.0.0", "::", "") else host
    if ":" in shown:
        shown = f"[{shown}]"
    from urllib.parse import quote

    return f"http://{shown}:{port}/" + (f"?token={quote(token, safe='')}" if token else "")


def cmd_serve(args: argparse.Namespace) -> int:
    """Serves until interrupted.

    Parameters
    ----------
    args : argparse.Namespace
        The parsed options of ``k814util serve``.

    Returns
    -------
    int
        0 once the server has stopped.

    Raises
    ------
    Failure
        When the web extra is missing, a path does not exist or the port cannot be used.
    """
    try:
        import uvicorn

        from k814util.web import create_app
    except ImportError as exc:
        raise Failure(f"serve needs the web extra: pip install 'k814util[web]' ({exc})") from None
    token = args.token
    if token is not None and not token.strip():
        # An empty token is one anyone can give (?token=): the server would be open.
        raise Failure("k814util serve: --token must not be empty", status=2)
    if token is None and args.host not in LOCAL_HOSTS:
        # Anyone on the network could read the archive otherwise.
        token = secrets.token_urlsafe(24)
    try:
        app = create_app(args.paths or None, args.ini, token, workers=args.workers)
    except (FileNotFoundError, ValueError, RuntimeError) as exc:
        raise Failure(str(exc)) from None
    runs = app.state.server.catalogue.entries()
    try:  # a port in use is said in one line, before anything starts
        family = socket.AF_INET6 if ":" in args.host else socket.AF_INET
        with socket.socket(family, socket.SOCK_STREAM) as probe:
            probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            probe.bind((args.host, args.port))
    except OSError as exc:
        raise Failure(f"cannot listen on {args.host}:{args.port}: {exc.strerror or exc}") from None
    print(f"Serving {len(runs)} runs at {url(args.host, args.port, token)}")
    print("Press Ctrl-C to stop.")
    sys.stdout.flush()
    # uvicorn ends on Ctrl-C itself (open event streams get two seconds to close); the
    # application's lifespan then closes the run workers.
    config = uvicorn.Config(
        app, host=args.host, port=args.port, log_level="warning", timeout_graceful_shutdown=2
    )
    try:
        uvicorn.Server(config).run()
    except KeyboardInterrupt:  # uvicorn hands Ctrl-C on once it has stopped: the normal end
        pass
    print("Stopped.")
    return 0


def register(sub) -> None:
    """Adds the ``serve`` subcommand to the console's subparsers.

    Parameters
    ----------
    sub : argparse._SubParsersAction
        The console's subcommands.
    """
    serve = sub.add_parser(
        "serve",
        help="serve the quick-look page and its HTTP API on an archive or a test",
        description="Serves the quick-look page and its HTTP API (/api/v1) until interrupted.",
    )
    serve.add_argument(
        "paths",
        nargs="*",
        metavar="PATH",
        help="archive root, TID directory or telemetry file (default: the configuration's "
        "data roots)",
    )
    serve.add_argument("--ini", help="workstation configuration file (default: $INI814 or ~)")
    serve.add_argument("--host", default="127.0.0.1", help="address to listen on")
    serve.add_argument("--port", type=int, default=8814, help="port (default: 8814)")
    serve.add_argument(
        "--token",
        help="token every request must carry (default: none on 127.0.0.1, else a generated "
        "one, printed in the URL)",
    )
    serve.add_argument(
        "--workers",
        type=positive_int,
        default=3,
        help="runs bound at once, each in a worker process (default: 3)",
    )
    serve.set_defaults(func=cmd_serve)
