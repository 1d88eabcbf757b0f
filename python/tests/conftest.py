"""Shared fixtures, and the one rule about the compiled module.

Test modules that need the compiled module say so with ``pytest.importorskip("k814util.k814util")``
and are skipped where it does not import (a source tree on ``PYTHONPATH``, nothing built). With
``K814_REQUIRE_MODULE`` set, as ctest sets it after building the module, a module that does not
import fails the whole run instead: a broken build must not pass as a run of skipped tests."""

import os

import pytest
from k814util.sample import generate_archive


def pytest_configure(config):
    if not os.environ.get("K814_REQUIRE_MODULE"):
        return
    try:
        import k814util.k814util  # noqa: F401
    except ImportError as error:
        raise pytest.UsageError(
            f"K814_REQUIRE_MODULE is set but the compiled module does not import: {error}"
        ) from error


@pytest.fixture(scope="session")
def archive(tmp_path_factory):
    root = tmp_path_factory.mktemp("archive")
    manifest = generate_archive(root)
    _bind_vireo_first(root, manifest)
    return root, manifest


def _bind_vireo_first(root, manifest):
    """Plug-ins load once per process, filtered to the first bound test's mission and the
    generic makers; the VIREO conversions come from VIREO plug-ins, TARN needs only generic
    ones. Binding the VIREO test first lets one test process read both missions, whichever
    test module runs first."""
    try:
        import k814util.k814util  # noqa: F401
    except ImportError:
        return
    vireo = next(r for r in manifest["runs"] if r["mission"] == "vireo")
    saved = os.environ.get("INI814")
    os.environ["INI814"] = str(root / ".814config.INI")
    try:
        k814util.bind(vireo["tm_file"])
    finally:
        if saved is None:
            del os.environ["INI814"]
        else:
            os.environ["INI814"] = saved


@pytest.fixture
def tarn_run(archive, monkeypatch):
    """The sample's TARN run, with the workstation configuration pointing at the archive."""
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    return next(r for r in manifest["runs"] if r["mission"] == "tarn")


@pytest.fixture
def tarn(tarn_run):
    """The sample's TARN run and its TMFile, the process bound to it."""
    import k814util

    return tarn_run, k814util.open(tarn_run["tm_file"])


def counted_bins(designed_scan):
    """Length of a scan's zero-filled count list: bin 0 up to the end of its highest segment."""
    return max(start + n * repeat for start, n, repeat in designed_scan["segments"])


def mz_curve(designed_scan, bins):
    """The sample calibrates in bin mode: m/z of bin b is the curve of the last status's phase
    cycle at b; a cycle without an entry (or a scan without status) takes the default entry,
    which a file without one gets from its first entry."""
    from k814util.sample import masscal

    entries = masscal.TID_ENTRIES
    pc = designed_scan["phase_cycle"]
    curve = entries[pc if pc in entries else next(iter(entries))][1]
    return [masscal.curve(curve, b) for b in range(bins)]


@pytest.fixture(params=["tarn", "vireo"])
def mission(request, archive, monkeypatch):
    """Each sample run in turn, with its TMFile, the process bound to it."""
    import k814util

    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    run = next(r for r in manifest["runs"] if r["mission"] == request.param)
    return run, k814util.open(run["tm_file"])
