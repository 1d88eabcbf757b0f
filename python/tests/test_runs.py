"""Runs: several telemetry files open at once, each bound in a worker process of its own and
answering for its file alone, checked against the same files bound alone in fresh
interpreters; the worker cap, workers that die, and files that cannot be bound."""

import json
import os
import signal
import subprocess
import sys
import threading
import time
import warnings

import numpy as np
import pytest

pytest.importorskip("k814util.k814util")

from k814util.runs import RunPool, RunWarning, RunWorkerError

import k814util
from k814util import k814util as proxy

ITEMS = {"tarn": "SEB:HV_MON", "vireo": "HK:V_28"}

ALONE = """
import json, sys
import numpy as np
import k814util
path, item, out = sys.argv[1:]
f = k814util.open(path)
s = f.series(item, "eng")
np.savez(out, value=s["value"], relative_time=s["relative_time"], packet=s["packet"])
print(json.dumps({"packets": len(f), "messages": len(f.messages()), "mission": f.mission()}))
"""


@pytest.fixture(scope="module")
def runs(tmp_path_factory):
    """Three runs per mission (the last VIREO one cannot be bound, the last TARN one is
    damaged), and what each bindable one gives bound alone in a fresh interpreter."""
    from k814util.sample import generate_archive

    root = tmp_path_factory.mktemp("runs")
    manifest = generate_archive(root, runs=3)
    env = dict(os.environ, INI814=str(root / ".814config.INI"))
    alone = {}
    for run in manifest["runs"]:
        if run.get("problem") == "broken tm.meta":
            continue
        out = root / f"{run['tid']}.npz"
        res = subprocess.run(
            [sys.executable, "-c", ALONE, run["tm_file"], ITEMS[run["mission"]], str(out)],
            capture_output=True,
            text=True,
            env=env,
            check=True,
        )
        alone[run["tm_file"]] = (json.loads(res.stdout), dict(np.load(out)))
    return root, manifest, alone


@pytest.fixture
def configured(runs, monkeypatch):
    root, manifest, alone = runs
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    return manifest, alone


def _equal_alone(run, facts, arrays, mission):
    s = run.series(ITEMS[mission], "eng")
    for key in ("value", "relative_time", "packet"):
        np.testing.assert_array_equal(s[key], arrays[key])
    assert s["value"].flags.writeable  # arrays of their own, not views of a message
    assert len(run.packets()) == facts["packets"]
    assert len(run.messages()) == facts["messages"]
    assert run.mission() == facts["mission"] == mission
    try:
        import xarray  # noqa: F401
    except ImportError:
        return
    # The dataset comes from the run's own file: the same values on the same times.
    ((name, var),) = run.to_xarray([ITEMS[mission]], "eng").data_vars.items()
    np.testing.assert_array_equal(var.values, arrays["value"])
    np.testing.assert_array_equal(var[f"relative_time_{name}"].values, arrays["relative_time"])


def test_runs_of_both_missions_answer_for_their_own_files(configured):
    manifest, alone = configured
    # The process's own binding is another file's, and stays so.
    vireo = next(r for r in manifest["runs"] if r["mission"] == "vireo")
    own = k814util.open(vireo["tm_file"])
    generation = proxy._binding_generation()
    pool = RunPool(max_workers=len(alone))
    opened = {path: k814util.Run(path, pool=pool) for path in alone}
    try:
        first = next(iter(opened.values()))
        assert not first.bound and first.worker_pid is None  # bound on the first call only
        missions = {r["tm_file"]: r["mission"] for r in manifest["runs"]}
        # Interleaved: every run asked once before any is asked again, in two orders.
        for order in (list(opened), list(reversed(opened))):
            for path in order:
                facts, arrays = alone[path]
                _equal_alone(opened[path], facts, arrays, missions[path])
        assert len(pool) == len(alone)
        pids = {run.worker_pid for run in opened.values()}
        assert all(run.bound for run in opened.values())
        assert len(pids) == len(alone) and os.getpid() not in pids and None not in pids
        first.close()
        assert not first.bound and first.worker_pid is None
        damaged = next(r for r in manifest["runs"] if r.get("problem") == "damaged telemetry file")
        kinds = {d.kind for d in opened[damaged["tm_file"]].diagnostics()}
        assert "reader" in kinds
    finally:
        pool.close()
    assert proxy._binding_generation() == generation
    k814util._binding.ensure_current(own)
    assert len(own) == vireo["packets"]


def test_the_worker_cap_closes_the_least_recently_used(configured):
    manifest, alone = configured
    tarns = [r["tm_file"] for r in manifest["runs"] if r["mission"] == "tarn"]
    vireos = [p for p in alone if p not in tarns]
    pool = RunPool(max_workers=2)
    try:
        a, b, c = (k814util.Run(p, pool=pool) for p in (tarns[0], vireos[0], tarns[1]))
        a.mission(), b.mission()
        first_a = a._worker.process
        c.mission()  # a was used least recently: its worker, of the same mission, now binds c
        assert len(pool) == 2 and a._worker is None
        assert c._worker.process is first_a and first_a.poll() is None
        b_process = b._worker.process
        _equal_alone(a, *alone[tarns[0]], "tarn")  # bound again; b is now the oldest
        assert len(pool) == 2 and b._worker is None
        assert b_process.wait(timeout=10) is not None  # another mission's: ended
        _equal_alone(c, *alone[tarns[1]], "tarn")
    finally:
        pool.close()
    assert len(pool) == 0


def test_a_worker_that_dies_is_said_and_replaced(configured):
    manifest, alone = configured
    path = next(r["tm_file"] for r in manifest["runs"] if r["mission"] == "tarn")
    with k814util.Run(path, pool=RunPool(2)) as run:
        run.mission()
        # Killed between calls: the next call says so and binds the run again.
        os.kill(run._worker.process.pid, signal.SIGKILL)
        run._worker.process.wait(timeout=10)
        with pytest.warns(RunWarning, match="had ended"):
            _equal_alone(run, *alone[path], "tarn")
        # Killed while it answers: that call fails saying so, the next one answers.
        process = run._worker.process
        failed = []

        def slow():
            try:
                run.apply(lambda f: time.sleep(60))
            except RunWorkerError as exc:
                failed.append(exc)

        caller = threading.Thread(target=slow)
        caller.start()
        time.sleep(0.5)
        os.kill(process.pid, signal.SIGKILL)
        caller.join(timeout=30)
        assert not caller.is_alive() and len(failed) == 1
        assert "ended" in str(failed[0]) and path in str(failed[0])
        with warnings.catch_warnings():
            warnings.simplefilter("error")  # said once, by the call that failed
            _equal_alone(run, *alone[path], "tarn")


def test_runs_that_cannot_answer_say_why(configured, tmp_path):
    manifest, _ = configured
    with pytest.raises(k814util.TelemetryFileNotFoundError):
        k814util.Run(tmp_path / "missing.tlm")
    broken = next(r for r in manifest["runs"] if r.get("problem") == "broken tm.meta")
    expected = f"A valid tm.meta could not be found for {broken['tm_file']}"
    pool = RunPool(2)
    try:
        run = k814util.Run(broken["tm_file"], pool=pool)
        with pytest.raises(k814util.BindingError) as caught:
            run.packets()
        assert str(caught.value) == expected
        assert len(pool) == 0  # the failed worker is not kept
        tarn = k814util.Run(
            next(r["tm_file"] for r in manifest["runs"] if r["mission"] == "tarn"), pool=pool
        )
        with pytest.raises(k814util.UnknownItemError, match="close matches: SEB:HV_MON"):
            tarn.series("SEB:HV_MO")
        assert tarn.series("SEB:HV_MON")["value"].size  # the worker lives on
    finally:
        pool.close()
