"""The runs the quick-look server serves: the catalogued runs under the roots it was given,
each with a stable id that is safe in a URL.

Nothing outside the roots is ever served: a run's id is only a key of this catalogue (never a
path the server opens), and a run whose real location (links followed) leaves its root is left
out when the catalogue is made and refused again before it is bound.
"""

from __future__ import annotations

import contextlib
import datetime
import hashlib
import os
import re
import threading
import time
from dataclasses import dataclass

__all__ = ["CatalogueEntry", "RunCatalogue", "inside"]

# What an id may hold: the unreserved characters of a URL.
_ID_CHARACTERS = re.compile(r"[^A-Za-z0-9._-]+")
#: Separator of an id's parts (a data root's group, the folders below it, the TID directory).
ID_SEPARATOR = "~"


def inside(root: str, path: str) -> bool:
    """Whether path, links followed, lies in root, links followed.

    Parameters
    ----------
    root : str
        A directory.
    path : str
        A file or directory.

    Returns
    -------
    bool
        True when the real path of ``path`` is ``root``'s real path or below it.

    Examples
    --------
    >>> inside("/tmp", "/tmp/a/../b")
    True
    >>> inside("/tmp/a", "/tmp/a/../b")
    False
    """
    real_root = os.path.realpath(root)
    real = os.path.realpath(path)
    try:
        return os.path.commonpath([real_root, real]) == real_root
    except ValueError:  # different drives
        return False


@dataclass
class CatalogueEntry:
    """One run the server serves: its catalogue row and where it lies.

    Parameters
    ----------
    id : str
        The run's id in URLs.
    root : str
        The data root (or the folder given) the run was found under.
    row : dict
        The ``Archive.catalogue()`` columns, ``telemetry_file`` an absolute path.

    Examples
    --------
    >>> e = CatalogueEntry("tarn_fm~run", "/data", {"telemetry_file": "/data/run/a.tlm"})
    >>> e.telemetry_file
    '/data/run/a.tlm'
    """

    id: str
    root: str
    row: dict

    @property
    def telemetry_file(self) -> str:
        """The run's telemetry file (absolute path)."""
        return self.row["telemetry_file"]

    def contained(self) -> bool:
        """Whether the run's telemetry file still lies inside its root, links followed.

        Returns
        -------
        bool
            False when the file, or a folder on its way, has become a link leading out.
        """
        return inside(self.root, self.telemetry_file)

    def as_json(self) -> dict:
        """The catalogue row as the API gives it.

        Returns
        -------
        dict
            ``id`` first, then the catalogue columns: ``start_time`` as ISO-8601 UTC text,
            ``telemetry_file`` relative to the root.
        """
        row = dict(self.row)
        stamp = datetime.datetime.fromtimestamp(row["start_time"], datetime.timezone.utc)
        row["start_time"] = stamp.isoformat().replace("+00:00", "Z")
        row["telemetry_file"] = os.path.relpath(self.telemetry_file, self.root)
        row["size"] = int(row["size"])
        row["tid"] = int(row["tid"])
        return {"id": self.id, **row}


class RunCatalogue:
    """The runs under the given paths, by id.

    Parameters
    ----------
    paths : list of str, optional
        Archive roots (searched like a configuration group's data root), TID directories or
        telemetry files. Default: every data root of the configuration.
    ini : str, optional
        The workstation configuration file (default: the one binding reads, ``$INI814`` or
        the home one). Its groups name the runs' roots when ``paths`` is not given.

    Raises
    ------
    FileNotFoundError
        When a path given does not exist.
    ValueError
        When a telemetry file given does not lie in a test's folder.

    Examples
    --------
    >>> from k814util.web.catalogue import RunCatalogue
    >>> catalogue = RunCatalogue(["build/sample-archive"], "build/sample-archive/.814config.INI")
    >>> for entry in catalogue.entries():
    ...     print(entry.id)
    tarn_fm~data~tarn~2012-04-02-12.35.42-12345-tarn_sample
    vireo~data~vireo~2016-09-14-09.05.10-23456-vireo_sample
    """

    def __init__(self, paths: list[str] | None = None, ini: str | None = None):
        from k814util import k814util as _k

        if ini is None:
            ini = _k._archive_config_path()
        self.ini = os.path.abspath(os.fspath(ini))
        from k814util._archivework import TID_DIR

        for p in paths or ():
            if not os.path.exists(p):
                raise FileNotFoundError(f"no such file or directory: {p}")
            folder = os.path.basename(os.path.dirname(os.path.abspath(p)))
            if os.path.isfile(p) and not TID_DIR.match(folder):
                # A run is a test's folder: its name gives the run's start, TID and test name.
                raise ValueError(
                    f"{p} is not in a test's folder (one named like "
                    "2012-04-02-12.35.42-12345-name): serve that folder's archive, or the file "
                    "from its test's folder"
                )
        self.paths = [os.path.abspath(os.fspath(p)) for p in paths or ()]
        self._groups: list[tuple[str, str]] = []
        if os.path.isfile(self.ini):
            from k814util.archive import _configuration

            with _configuration(self.ini):
                self._groups = list(_k._archive_data_roots())
        self._entries: dict[str, CatalogueEntry] = {}
        self._lock = threading.Lock()
        self._made = 0.0
        self.refresh()

    def _roots(self) -> list[tuple[str, str, list[str] | None]]:
        """(group, root, TID directories or None for all below root) to walk."""
        if not self.paths:
            return [(g, r, None) for g, r in self._groups if r and os.path.isdir(r)]
        found = []
        from k814util._archivework import TID_DIR

        for p in self.paths:
            if os.path.isfile(p):
                directory = os.path.dirname(p)
                found.append((self._group_of(directory), os.path.dirname(directory), [p]))
            elif TID_DIR.match(os.path.basename(p)):
                found.append((self._group_of(p), os.path.dirname(p), [p]))
            else:
                found.append((self._group_of(p), p, None))
        return found

    def _group_of(self, path: str) -> str:
        """The configuration group whose data root holds path ("" when none does)."""
        for group, root in self._groups:
            if root and os.path.isdir(root) and inside(root, path):
                return group
        return ""

    def refresh(self) -> None:
        """Walks the roots again (runs the station added since).

        Runs whose folder or telemetry file is a link leading out of their root are left
        out; a run that moved keeps its id as long as its folder keeps its name.
        """
        from k814util.archive import _configuration, _describe, _tid_dirs

        entries: dict[str, CatalogueEntry] = {}
        seen = set()
        with _configuration(self.ini):
            for group, root, chosen in self._roots():
                for target in chosen if chosen is not None else _tid_dirs(root):
                    directory = target if os.path.isdir(target) else os.path.dirname(target)
                    real = os.path.realpath(target)
                    if real in seen or not inside(root, target):
                        continue  # a root shared by groups; or a link leading out
                    seen.add(real)
                    row = _describe(group, directory)
                    if os.path.isfile(target):
                        row["telemetry_file"] = target
                        row["size"] = os.path.getsize(target)
                    if not inside(root, row["telemetry_file"]):
                        continue
                    key = self._id(
                        group or row["group"] or row["mission"], root, directory, entries
                    )
                    entries[key] = CatalogueEntry(key, root, row)
        ordered = sorted(entries.values(), key=lambda e: (e.row["start_time"], e.id))
        with self._lock:
            self._entries = {e.id: e for e in ordered}
            self._made = time.monotonic()

    @staticmethod
    def _id(group: str, root: str, directory: str, taken: dict) -> str:
        relative = os.path.relpath(directory, root).split(os.sep)
        parts = [group.lower(), *relative]
        key = ID_SEPARATOR.join(_ID_CHARACTERS.sub("-", p) for p in parts if p)
        if key in taken:  # two roots with the same folder names: the real path tells apart
            digest = hashlib.sha1(os.path.realpath(directory).encode()).hexdigest()[:8]
            key = f"{key}{ID_SEPARATOR}{digest}"
        return key

    def refresh_if_older(self, seconds: float) -> None:
        """Walks the roots again when the catalogue is older than ``seconds``.

        Parameters
        ----------
        seconds : float
            The age past which the roots are walked again.
        """
        if time.monotonic() - self._made > seconds:
            with contextlib.suppress(OSError):
                self.refresh()

    def entries(self) -> list[CatalogueEntry]:
        """Every run, oldest first.

        Returns
        -------
        list of CatalogueEntry
            The runs by start time.
        """
        with self._lock:
            return list(self._entries.values())

    def get(self, run_id: str) -> CatalogueEntry | None:
        """The run with an id.

        Parameters
        ----------
        run_id : str
            The id, as the request gave it.

        Returns
        -------
        CatalogueEntry or None
            None when no run has that id, or when the run has left its root since.
        """
        with self._lock:
            entry = self._entries.get(run_id)
        if entry is None or not entry.contained():
            return None
        return entry
