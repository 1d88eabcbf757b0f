"""The quick-look server: an archive and a running test in a web page.

``k814util serve`` starts it; :func:`create_app` makes the application for any ASGI server.
The server needs the ``web`` extra (Starlette, uvicorn and plotly, whose plotly.js the page
draws with): ``pip install 'k814util[web]'``. ``import k814util`` does not load it.

Runs are bound in worker processes (:class:`k814util.Run`), never in the server's own process;
the page and scripts alike use the HTTP API under ``/api/v1``.
"""

from __future__ import annotations

__all__ = ["create_app"]


def __getattr__(name: str):
    # The application module needs Starlette; the worker side of the server (which the run
    # workers import) does not.
    if name == "create_app":
        from k814util.web.app import create_app

        return create_app
    raise AttributeError(f"module 'k814util.web' has no attribute {name!r}")
