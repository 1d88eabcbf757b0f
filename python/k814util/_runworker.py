"""The worker process of a :class:`k814util.Run`: binds one telemetry file and answers requests
about it until its pipe closes.

Started by :mod:`k814util.runs` with the file descriptors of its two pipes as arguments. Requests
and replies travel as pickles over the two pipes (:func:`send` / :func:`receive`), numpy arrays
as out-of-band buffers, so a whole file's columns cross at memory speed instead of being pickled
value by value. The diagnostics of the binding are captured here, never printed; the parent asks
for them.
"""

from __future__ import annotations

import os
import pickle
import struct
import sys
import traceback
from multiprocessing.connection import Connection

# Header of a message: the pickle's length and the number of out-of-band buffers, then each
# buffer's length.
_COUNTS = struct.Struct("<QI")
_SIZE = struct.Struct("<Q")


def send(conn: Connection, obj) -> None:
    """Sends obj: its pickle (protocol 5), then every buffer the pickle left out of band."""
    buffers: list[pickle.PickleBuffer] = []
    data = pickle.dumps(obj, protocol=5, buffer_callback=buffers.append)
    views = [b.raw() for b in buffers]
    head = _COUNTS.pack(len(data), len(views)) + b"".join(_SIZE.pack(v.nbytes) for v in views)
    conn.send_bytes(head)
    conn.send_bytes(data)
    for view in views:
        conn.send_bytes(view)


def receive(conn: Connection):
    """The next object sent with :func:`send`; its arrays own writable memory of their own."""
    head = conn.recv_bytes()
    size, count = _COUNTS.unpack_from(head)
    sizes = [_SIZE.unpack_from(head, _COUNTS.size + k * _SIZE.size)[0] for k in range(count)]
    data = conn.recv_bytes()
    if len(data) != size:
        raise EOFError("a message was cut short")
    buffers = []
    for n in sizes:
        buffer = bytearray(n)
        if n:
            conn.recv_bytes_into(buffer)
        else:
            conn.recv_bytes()
        buffers.append(buffer)
    return pickle.loads(data, buffers=buffers)


class _Answers:
    """What the worker can be asked: bind a file, call a method of its TMFile, apply a function
    to it, or give its binding's diagnostics."""

    def __init__(self) -> None:
        self.file = None
        self.path = None

    def bind(self, path: str, ini: str | None):
        import k814util

        self.file = None
        self.file = k814util.open(path, ini=ini)
        self.path = path
        return self.file.mission()

    def call(self, name: str, args: tuple, kwargs: dict):
        from k814util import runs

        if name not in runs.METHODS:
            raise AttributeError(f"a run does not answer {name!r}")
        return runs.answer(self.file, name, args, kwargs)

    def apply(self, func):
        import cloudpickle

        return cloudpickle.loads(func)(self.file)

    def count(self) -> int:
        from k814util import k814util as _k

        lines, dropped = _k._binding_diagnostics()
        return len(lines) + dropped

    def diagnostics(self):
        from k814util.diagnostics import binding_diagnostics

        lines = binding_diagnostics()
        return list(lines), lines.dropped


def _error(exc: BaseException):
    """An exception as it travels back: itself when it pickles, else a RuntimeError with its
    type and text; and the text of its traceback."""
    text = "".join(traceback.format_exception(type(exc), exc, exc.__traceback__))
    try:
        pickle.loads(pickle.dumps(exc))
        travelling = exc
    except Exception:
        travelling = RuntimeError(traceback.format_exception_only(type(exc), exc)[-1].strip())
    travelling.__traceback__ = None
    return travelling, text


def main(argv: list[str] | None = None) -> None:
    args = sys.argv[1:] if argv is None else argv
    requests = Connection(int(args[0]), readable=True, writable=False)
    replies = Connection(int(args[1]), readable=False, writable=True)
    # Standard output is nobody's here: what writes there (a caller's function) goes to
    # standard error, which the parent shares.
    os.dup2(2, 1)
    from k814util.diagnostics import capture_diagnostics

    answers = _Answers()
    while True:
        try:
            op, payload = receive(requests)
        except (EOFError, OSError):
            return
        if op == "close":
            return
        try:
            with capture_diagnostics():
                value = getattr(answers, op)(*payload)
            reply = ("ok", value)
        except BaseException as exc:  # everything goes back; the worker lives on
            reply = ("error", _error(exc))
        try:
            send(replies, reply)
        except Exception as exc:  # the value does not pickle
            send(replies, ("error", _error(exc)))
