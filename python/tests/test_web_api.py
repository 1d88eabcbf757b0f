"""The quick-look server's HTTP API (k814util.web) against the sample archive, as a browser or a
script sees it: Starlette's test client, and a real uvicorn server for the event stream. No
browser is needed here.

Expected values come from the sample generator's manifest, or from the test process's own
binding (TMFile.series, the scans), never from the server's answers themselves."""

import datetime
import json
import os
import shutil
import socket
import threading
import time
import warnings
from pathlib import Path

import numpy as np
import pytest

pytest.importorskip("k814util.k814util")
pytest.importorskip("starlette")
pytest.importorskip("httpx")

from k814util.web import create_app  # noqa: E402
from k814util.web.decimate import decimate  # noqa: E402

with warnings.catch_warnings():  # the test client's own note about its HTTP library
    warnings.simplefilter("ignore")
    from starlette.testclient import TestClient  # noqa: E402

import k814util  # noqa: E402

pytestmark = pytest.mark.filterwarnings("ignore::DeprecationWarning")

API = "/api/v1/runs"
# Without a token the server answers requests to its loopback names only.
LOCAL = "http://127.0.0.1"


def run_id(run):
    """The id a run under its group's data root has: the group, then the TID directory."""
    return f"{run['group'].lower()}~{run['tid_dir']}"


def by_mission(manifest, mission):
    return next(r for r in manifest["runs"] if r["mission"] == mission)


@pytest.fixture(scope="module")
def served(archive):
    """A client of a server on the sample archive's two data roots (the configuration's)."""
    root, manifest = archive
    app = create_app(ini=str(root / ".814config.INI"), workers=2)
    with TestClient(app, base_url=LOCAL) as client:
        yield client, manifest, app


@pytest.fixture
def tarn_here(archive, monkeypatch):
    """The sample's TARN run bound in this process: the reference the server must match."""
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    run = by_mission(manifest, "tarn")
    return run, k814util.open(run["tm_file"])


# The catalogue and the summary ----------------------------------------------------------------


def test_runs_lists_the_catalogue_with_stable_ids(served):
    client, manifest, _ = served
    answer = client.get(API)
    assert answer.status_code == 200
    assert answer.headers["content-type"].startswith("application/json")
    runs = {r["id"]: r for r in answer.json()["runs"]}
    assert set(runs) == {run_id(r) for r in manifest["runs"]}
    for run in manifest["runs"]:
        row = runs[run_id(run)]
        started = datetime.datetime.fromtimestamp(run["start_unix"], datetime.timezone.utc)
        assert row == {
            "id": run_id(run),
            "mission": run["mission"],
            "group": run["group"],
            "tid": run["tid"],
            "test_name": run["tid_dir"].split("-", 6)[-1],
            "start_time": started.strftime("%Y-%m-%dT%H:%M:%SZ"),
            "telemetry_file": f"{run['tid_dir']}/{Path(run['tm_file']).name}",
            "size": run["bytes"],
            "error": "",
        }


def test_status_and_summary(served):
    client, manifest, _ = served
    run = by_mission(manifest, "vireo")
    url = f"{API}/{run_id(run)}"
    before = client.get(url + "/status").json()
    assert before["id"] == run_id(run) and before["state"] in ("idle", "ready")
    summary = client.get(url).json()
    assert summary["id"] == run_id(run) and summary["mission"] == "vireo"
    assert summary["packets"] == run["packets"]
    packets = summary["summary"]["packets"]
    assert {str(t["type"]): t["count"] for t in packets["types"]} == run["packets_by_type"]
    assert summary["summary"]["test"]["group"] == run["group"]
    assert summary["t0_unix"] == pytest.approx(packets["t0_unix"])
    first, last = summary["time_span"]
    assert first <= last
    assert client.get(url + "/status").json() == {
        "id": run_id(run),
        "state": "ready",
        "progress": 1.0,
        "message": "bound",
    }


def test_items_are_the_database_items(served, tarn_here):
    client, manifest, _ = served
    run, f = tarn_here
    answer = client.get(f"{API}/{run_id(run)}/items", params={"pattern": "SEB"}).json()
    expected = f.items("SEB")
    assert [i["id"] for i in answer["items"]] == expected.index.tolist()
    assert [i["mnemonic"] for i in answer["items"]] == expected["mnemonic"].tolist()
    limited = {v["id"] for v in run["limit_violations"]}
    flags = {
        i["id"]: i["has_limits"] for i in client.get(f"{API}/{run_id(run)}/items").json()["items"]
    }
    assert limited and all(flags[i] for i in limited)
    assert not flags[17]  # SEB:EMON_A has no limits


# Series ---------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "item, mode, start, end",
    [
        ("SEB:HV_MON", "sci", None, None),
        ("21", "raw", None, None),
        ("SEB:T_BOARD", "eng", 20.0, 80.0),
        ("LIM:PRESSURE", "raw", 15.5, None),
        ("SEB:HV_MON", "sci", 500.0, 600.0),  # nothing there
    ],
)
def test_series_is_tmfile_series_when_it_fits(served, tarn_here, item, mode, start, end):
    client, _, _ = served
    run, f = tarn_here
    params = {"item": item, "mode": mode, "max_points": 20000}
    params.update({k: v for k, v in (("start", start), ("end", end)) if v is not None})
    answer = client.get(f"{API}/{run_id(run)}/series", params=params)
    assert answer.status_code == 200, answer.text
    got = answer.json()
    key = int(item) if item.isdigit() else item
    expected = f.series(key, mode, start=start, end=end)
    assert got["decimated"] is False
    assert got["count"] == len(expected["value"])
    assert got["relative_time"] == expected["relative_time"].tolist()
    assert got["value"] == expected["value"].tolist()
    assert got["mode"] == mode
    assert got["mnemonic"] == (item if not item.isdigit() else "SEB:HV_MON")


def test_series_of_a_vireo_run(served, archive):
    client, manifest, _ = served
    root, _ = archive
    run = by_mission(manifest, "vireo")
    items = client.get(f"{API}/{run_id(run)}/items").json()["items"]
    with k814util.Run(run["tm_file"], str(root / ".814config.INI")) as reference:
        for item in items[:3]:
            got = client.get(f"{API}/{run_id(run)}/series", params={"item": item["id"]}).json()
            expected = reference.series(item["id"])
            assert got["value"] == expected["value"].tolist()


def test_decimated_series_keeps_the_planted_spike(served):
    client, manifest, _ = served
    run = by_mission(manifest, "tarn")
    # The sample plants a pressure spike of 2500 counts (its limit report's worst value).
    spike = next(v for v in run["limit_violations"] if v["mnemonic"] == "LIM:PRESSURE")
    url = f"{API}/{run_id(run)}"
    t0 = client.get(url).json()["t0_unix"]
    whole = client.get(url + "/series", params={"item": "LIM:PRESSURE", "mode": "raw"}).json()
    thin = client.get(
        url + "/series", params={"item": "LIM:PRESSURE", "mode": "raw", "max_points": 8}
    ).json()
    assert whole["decimated"] is False and whole["count"] > 8
    assert thin["decimated"] is True and thin["count"] == whole["count"]
    assert len(thin["value"]) <= 8
    assert max(thin["value"]) == spike["worst"] == max(whole["value"])
    at = thin["relative_time"][thin["value"].index(spike["worst"])]
    assert at == pytest.approx(spike["worst_unix"] - t0, abs=1e-3)
    assert min(thin["value"]) == min(whole["value"])
    # The first and the last sample stay where they were.
    assert thin["relative_time"][0] == whole["relative_time"][0]
    assert thin["relative_time"][-1] == whole["relative_time"][-1]


def _columns_by_hand(t, v, columns, start, end):
    """first, min, max, last of each pixel column, sample by sample."""
    kept = set()
    groups = {}
    for i, (ti, vi) in enumerate(zip(t, v)):
        c = min(columns - 1, max(0, int((ti - start) * columns / (end - start))))
        groups.setdefault(c, []).append((i, vi))
    for members in groups.values():
        kept |= {members[0][0], members[-1][0]}
        kept.add(min(members, key=lambda m: (m[1], m[0]))[0])
        kept.add(min(members, key=lambda m: (-m[1], m[0]))[0])
    return sorted(kept)


@pytest.mark.parametrize("seed", [0, 1, 2])
def test_decimate_keeps_each_columns_first_extremes_and_last(seed):
    rng = np.random.default_rng(seed)
    t = np.sort(rng.uniform(0, 100, 2000))
    v = rng.normal(size=2000).round(1)  # ties: the first of equal extremes is kept
    v[rng.integers(2000)] = 40.0
    if seed == 2:  # out of time order, as packets of a resynchronised clock may come
        t = t[rng.permutation(2000)]
    kept = decimate(t, v, 37, 0.0, 100.0)
    assert kept.tolist() == _columns_by_hand(t, v, 37, 0.0, 100.0)
    assert len(kept) <= 4 * 37 and 40.0 in v[kept]


def test_decimate_texts_and_edges():
    t = np.arange(6.0)
    texts = np.array(["a", "b", "c", "d", "e", "f"])
    assert decimate(t, texts, 2, 0.0, 5.0).tolist() == [0, 2, 3, 5]
    assert decimate(t, t, 3, 2.0, 2.0).tolist() == [0, 5]  # one column for an empty span
    assert decimate(t[:0], t[:0], 3, 0.0, 1.0).tolist() == []
    with pytest.raises(ValueError, match="columns"):
        decimate(t, t, 0, 0.0, 5.0)
    with pytest.raises(ValueError, match="before"):
        decimate(t, t, 2, 5.0, 0.0)


# Tables, scans ------------------------------------------------------------------------------


def test_messages_markers_and_limits(served, tarn_here):
    client, _, _ = served
    run, f = tarn_here
    url = f"{API}/{run_id(run)}"
    messages = client.get(url + "/messages").json()
    assert messages["columns"] == ["relative_time", "msg"]
    texts = f.messages()["msg"].tolist()
    assert [m["msg"] for m in messages["rows"]] == texts
    assert messages["total"] == len(texts) > 5
    # Long tables come a page at a time.
    page = client.get(url + "/messages", params={"offset": 2, "limit": 3}).json()
    assert [m["msg"] for m in page["rows"]] == texts[2:5]
    assert page["total"] == len(texts) and page["offset"] == 2
    assert client.get(url + "/messages", params={"limit": 0}).status_code == 400
    assert client.get(url + "/messages", params={"limit": 10**6}).status_code == 400
    markers = client.get(url + "/markers").json()["rows"]
    expected = [e["marker"] for e in run["expected"] if "marker" in e]
    assert [(m["marker_id"], m["text"]) for m in markers] == [(i, t) for i, _, t in expected]
    metas = client.get(url + "/meta-markers").json()
    assert [m["meta_marker_id"] for m in metas["rows"]] == f.meta_markers()[
        "meta_marker_id"
    ].tolist()
    violations = client.get(url + "/limit-violations").json()["rows"]
    # The manifest plans the violations of the items it made for them.
    planned = {v["id"] for v in run["limit_violations"]}
    wanted = [(v["id"], v["set"], v["level"], v["samples"]) for v in run["limit_violations"]]
    got = [(v["id"], v["set"], v["level"], v["samples"]) for v in violations if v["id"] in planned]
    assert got == wanted
    limits = client.get(url + "/limits").json()
    assert "yellow_1" in limits["columns"]
    # A limit set that does not exist is null, not NaN (which JSON does not have).
    state = next(r for r in limits["rows"] if r["mnemonic"] == "LIM:STATE")
    assert state["yellow_2"] is None


def test_scans_spectrum_and_tic(served):
    client, manifest, _ = served
    run = by_mission(manifest, "tarn")
    science = run["science"]
    url = f"{API}/{run_id(run)}"
    table = client.get(url + "/scans").json()
    assert len(table["rows"]) == science["scan_count"]
    for designed in science["scans"][:4]:
        scan = client.get(f"{url}/scans/{designed['index']}").json()
        counts = np.array(scan["counts"])
        assert counts.sum() == designed["count_sum"]
        assert counts.max() == designed["count_max"]
        assert int(counts.argmax()) == designed["max_bin"]
        assert len(scan["mz"]) == len(scan["counts"])
        assert scan["kind"] == designed["kind"]
        if scan["culled_counts"] is not None:
            assert len(scan["culled_mz"]) == len(scan["culled_counts"])
            assert max(scan["culled_counts"]) <= designed["count_max"]
    traces = client.get(url + "/tic").json()["traces"]
    kinds = {}
    for trace in traces:
        kinds[trace["kind"]] = kinds.get(trace["kind"], 0) + len(trace["scan"])
        assert len(trace["tic"]) == len(trace["relative_time"]) == len(trace["scan"])
    assert kinds == science["by_kind"]
    # A TIC trace of more scans than asked for keeps the extremes of each pixel column.
    thin = client.get(url + "/tic", params={"max_points": 4}).json()["traces"]
    for full, few in zip(traces, thin):
        assert few["count"] == len(full["scan"])
        assert len(few["scan"]) <= 4
        assert few["decimated"] == (len(full["scan"]) > 4)
        assert max(few["tic"]) == max(full["tic"]) and min(few["tic"]) == min(full["tic"])
        assert set(few["scan"]) <= set(full["scan"])
    assert client.get(url + "/tic", params={"max_points": "x"}).status_code == 400
    vireo = by_mission(manifest, "vireo")
    assert client.get(f"{API}/{run_id(vireo)}/scans").status_code == 400


# Bad requests ------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "params, message",
    [
        ({}, "needs an item"),
        ({"item": "SEB:HV_MOM"}, "close matches: SEB:HV_MON"),
        ({"item": "999999"}, "no database item has the id 999999"),
        ({"item": "SEB:HV_MON", "mode": "cooked"}, "mode must be one of"),
        ({"item": "SEB:HV_MON", "start": "soon"}, "start must be a number"),
        ({"item": "SEB:HV_MON", "end": "nan"}, "end must be a finite number"),
        ({"item": "SEB:HV_MON", "start": "50", "end": "10"}, "lies before start"),
        ({"item": "SEB:HV_MON", "max_points": "many"}, "max_points must be a whole number"),
        ({"item": "SEB:HV_MON", "max_points": "2"}, "max_points must lie between 4 and 20000"),
        ({"item": "SEB:HV_MON", "max_points": "1000000"}, "max_points must lie between"),
    ],
)
def test_bad_series_requests_are_400(served, params, message):
    client, manifest, _ = served
    run = by_mission(manifest, "tarn")
    answer = client.get(f"{API}/{run_id(run)}/series", params=params)
    assert answer.status_code == 400
    assert message in answer.json()["error"]


@pytest.mark.parametrize(
    "path",
    [
        "/api/v1/runs/no-such-run",
        "/api/v1/runs/no-such-run/series?item=21",
        "/api/v1/runs/..",
        "/api/v1/runs/%2e%2e/status",
        "/api/v1/runs/%2e%2e%2f%2e%2e%2fetc%2fpasswd/status",
        "/api/v1/runs/tarn_fm%2F..%2F..%2Fetc/items",
        "/api/v1/runs/%2Fetc%2Fpasswd",
        "/api/v1/runs/tarn_fm~2012-04-02-12.35.42-12345-tarn_sample/scans/100000",
        "/api/v1/runs/tarn_fm~2012-04-02-12.35.42-12345-tarn_sample/scans/-1",
        "/api/v1/nothing",
        "/static/..%2f..%2f..%2fetc%2fpasswd",
        "/static/vendor/..%2f..%2fapp.py",
    ],
)
def test_unknown_runs_and_traversals_are_404(served, path):
    client, _, _ = served
    answer = client.get(path)
    assert answer.status_code == 404
    assert "error" in answer.json()


def test_requests_are_bounded(served):
    client, _, _ = served
    assert client.get(API, params={"x": "y" * 5000}).status_code == 414
    assert client.post(API, content=b"x" * 100).status_code == 413


def test_plotly_comes_from_the_plotly_package(served):
    import plotly

    client, _, _ = served
    answer = client.get("/static/vendor/plotly.min.js")
    assert answer.status_code == 200
    shipped = Path(plotly.__file__).parent / "package_data" / "plotly.min.js"
    assert answer.content == shipped.read_bytes()


# Archives with a run outside, a run that does not bind ------------------------------------------


def _copy_run(run, into: Path, name: str | None = None) -> Path:
    source = Path(run["tm_file"]).parent
    target = into / (name or source.name)
    shutil.copytree(source, target)
    return target


def test_links_leading_out_are_not_served(archive, tmp_path):
    root, manifest = archive
    run = by_mission(manifest, "tarn")
    served_root = tmp_path / "served"
    outside = tmp_path / "outside"
    served_root.mkdir()
    outside.mkdir()
    inside = _copy_run(run, served_root)
    away = _copy_run(run, outside, "2012-04-03-10.00.00-12346-away")
    # A TID directory that is a link to a run outside, and a run whose telemetry file is one.
    (served_root / away.name).symlink_to(away, target_is_directory=True)
    linked = served_root / "2012-04-04-10.00.00-12347-linked_file"
    linked.mkdir()
    shutil.copy(inside / "tm.meta", linked)
    (linked / Path(run["tm_file"]).name).symlink_to(away / Path(run["tm_file"]).name)
    app = create_app([str(served_root)], str(root / ".814config.INI"), workers=1)
    with TestClient(app, base_url=LOCAL) as client:
        ids = [r["id"] for r in client.get(API).json()["runs"]]
        assert ids == [f"tarn_fm~{inside.name}"]
        for name in (away.name, linked.name):
            assert client.get(f"{API}/tarn_fm~{name}/series?item=21").status_code == 404
        # The run inside, whose directory becomes a link leading out after it was catalogued.
        shutil.rmtree(inside)
        inside.symlink_to(away, target_is_directory=True)
        assert client.get(f"{API}/tarn_fm~{inside.name}/items").status_code == 404
        assert len(app.state.server.manager.pool) == 0  # nothing was bound


def test_a_run_that_cannot_be_bound_is_422_and_the_others_work(archive, tmp_path):
    root, manifest = archive
    run = by_mission(manifest, "tarn")
    good = _copy_run(run, tmp_path)
    broken = _copy_run(run, tmp_path, "2012-04-05-10.00.00-12348-broken")
    spoiled = _copy_run(run, tmp_path, "2012-04-06-10.00.00-12349-spoiled")
    (broken / "tm.meta").write_text("{ not json")
    empty = tmp_path / "2012-04-07-10.00.00-12350-empty"  # its telemetry file never came
    empty.mkdir()
    shutil.copy(good / "tm.meta", empty)
    app = create_app([str(tmp_path)], str(root / ".814config.INI"), workers=2)
    with TestClient(app, base_url=LOCAL) as client:
        runs = {r["id"].split("~")[-1]: r for r in client.get(API).json()["runs"]}
        assert "tm.meta" in runs[broken.name]["error"]
        assert runs[spoiled.name]["error"] == ""
        # The metadata spoiled after the catalogue was made: the binding itself says so.
        (spoiled / "tm.meta").write_text("[]")
        assert "does not exist" in runs[empty.name]["error"]
        for name, said in (
            (broken.name, "tm.meta"),
            (spoiled.name, "tm.meta"),
            (empty.name, "exist"),
        ):
            rid = runs[name]["id"]
            answer = client.get(f"{API}/{rid}/series", params={"item": "21"})
            assert answer.status_code == 422
            assert said in answer.json()["error"]
            status = client.get(f"{API}/{rid}/status").json()
            assert status["state"] == "failed" and said in status["message"]
        answer = client.get(f"{API}/tarn_fm~{good.name}/series", params={"item": "21"})
        assert answer.status_code == 200 and answer.json()["count"] > 0


# The token ----------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "host, status",
    [
        ("127.0.0.1:8814", 200),
        ("localhost", 200),
        ("[::1]:8814", 200),
        ("evil.example:8814", 403),
        ("127.0.0.1.evil.example", 403),
        ("", 403),
    ],
)
def test_without_a_token_only_loopback_names_are_answered(served, host, status):
    client, _, _ = served
    assert client.get(API, headers={"Host": host}).status_code == status


def test_a_token_is_needed_on_every_request_when_set(archive):
    root, _ = archive
    app = create_app(ini=str(root / ".814config.INI"), token="s3cret", workers=1)
    with TestClient(app, base_url=LOCAL) as client:
        for path in (API, "/", "/static/vendor/plotly.min.js", f"{API}/x/status"):
            assert client.get(path).status_code == 401
        assert client.get(API, params={"token": "wrong"}).status_code == 401
        bad = {"Authorization": "Bearer wrong"}
        assert client.get(API, headers=bad).status_code == 401
        assert client.get(API, params={"token": "s3cret"}).status_code == 200
        good = {"Authorization": "Bearer s3cret"}
        assert client.get(API, headers=good).status_code == 200
        # The page loaded with ?token= gets a cookie, which its own requests then carry.
        page = client.get("/", params={"token": "s3cret"})
        assert page.status_code != 401 and "k814_token" in page.cookies
        assert client.get(API).status_code == 200
        client.cookies.clear()
        assert client.get(API).status_code == 401


# Growth, as a real server announces it -------------------------------------------------------


def _events(response, wanted, deadline):
    """(event, data) pairs of a server-sent event stream until wanted says stop."""
    name = None
    for line in response.iter_lines():
        if time.monotonic() > deadline:
            return
        if line.startswith("event: "):
            name = line[7:]
        elif line.startswith("data: "):
            yield name, json.loads(line[6:])
            if wanted(name):
                return


def test_events_announce_what_the_station_appends(archive, tmp_path):
    import httpx
    from k814util.web.server import running

    root, manifest = archive
    run = by_mission(manifest, "tarn")
    directory = _copy_run(run, tmp_path)
    growing = directory / Path(run["tm_file"]).name
    stream = Path(run["tm_file"]).read_bytes()
    heads = k814util.read_packets(run["tm_file"], layout="tom")
    cut = int(heads["offset"][100])
    growing.write_bytes(stream[:cut])
    app = create_app([str(tmp_path)], str(root / ".814config.INI"), workers=1)
    rid = f"tarn_fm~{directory.name}"
    seen = []
    with running(app) as base, httpx.Client(base_url=base, timeout=10) as client:
        assert client.get(f"{API}/{rid}").json()["packets"] == 100

        def write():
            # The station writes the rest in a few pieces, cut anywhere.
            pieces = np.linspace(cut, len(stream), 5).astype(int)
            with growing.open("ab") as out:
                for a, b in zip(pieces[:-1], pieces[1:]):
                    time.sleep(0.3)
                    out.write(stream[a:b])
                    out.flush()

        writer = threading.Thread(target=write)
        deadline = time.monotonic() + 20
        with client.stream("GET", f"{API}/{rid}/events") as response:
            assert response.headers["content-type"].startswith("text/event-stream")
            writer.start()
            for name, data in _events(
                response,
                lambda _: bool(seen) and seen[-1][1].get("packets") == run["packets"],
                deadline,
            ):
                seen.append((name, data))
            assert app.state.streams == 1
        writer.join()
        # The client went away: its stream ends, and the server goes on answering.
        assert client.get(f"{API}/{rid}/status").json()["state"] == "ready"
        waited = time.monotonic() + 5
        while app.state.streams and time.monotonic() < waited:
            time.sleep(0.05)
        assert app.state.streams == 0
    packets = [d["packets"] for n, d in seen if n == "packets"]
    assert packets and packets[-1] == run["packets"]
    assert packets == sorted(packets)
    assert all(isinstance(d["last_relative_time"], float) for n, d in seen if n == "packets")
    texts = [m["msg"] for n, d in seen if n == "messages" for m in d["new"]]
    expected = sum(1 for e in run["expected"][100:] if "text" in e)
    assert expected and len(texts) >= 1


def test_a_growing_run_is_read_on_before_it_answers(archive, tmp_path):
    root, manifest = archive
    run = by_mission(manifest, "tarn")
    directory = _copy_run(run, tmp_path)
    growing = directory / Path(run["tm_file"]).name
    stream = Path(run["tm_file"]).read_bytes()
    heads = k814util.read_packets(run["tm_file"], layout="tom")
    cut = int(heads["offset"][400] + 3)  # inside a packet
    growing.write_bytes(stream[:cut])
    hk = heads["packet_type"][:400] == 22  # SEB:HV_MON comes in each SEB housekeeping packet
    app = create_app([str(tmp_path)], str(root / ".814config.INI"), workers=1)
    url = f"{API}/tarn_fm~{directory.name}"
    with TestClient(app, base_url=LOCAL) as client:
        assert client.get(url + "/series", params={"item": "21"}).json()["count"] == hk.sum()
        with growing.open("ab") as out:
            out.write(stream[cut:])
        # No event stream is open: the request itself reads on.
        answer = client.get(url + "/series", params={"item": "21"}).json()
        assert answer["count"] == run["packets_by_type"]["22"]
        assert client.get(url).json()["packets"] == run["packets"]


def test_binding_progress_is_read_from_the_workers_open_file(tmp_path):
    from k814util.web.runs import _read_position

    if not os.path.isdir(f"/proc/{os.getpid()}/fdinfo"):
        pytest.skip("no /proc: the status says how long the binding has taken instead")
    path = tmp_path / "data.bin"
    path.write_bytes(bytes(10_000))
    assert _read_position(os.getpid(), str(path)) is None  # not open
    with open(path, "rb", buffering=0) as f:
        f.read(1234)
        assert _read_position(os.getpid(), str(path)) == 1234


# The console -------------------------------------------------------------------------------


def test_without_the_web_extra_the_message_names_it():
    import subprocess
    import sys

    code = (
        "import sys; sys.modules['starlette'] = None\n"
        "import k814util, k814util.console\n"
        "assert 'uvicorn' not in sys.modules\n"
        "try:\n"
        "    from k814util.web import create_app\n"
        "except ImportError as e:\n"
        "    print(e)\n"
    )
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env)
    assert done.returncode == 0, done.stderr
    assert "pip install 'k814util[web]'" in done.stdout


def _children(pid: int) -> set[int]:
    """The processes whose parent is pid (Linux's /proc)."""
    found = set()
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as stat:
                    if int(stat.read().rsplit(")", 1)[1].split()[1]) == pid:
                        found.add(int(entry))
            except (OSError, IndexError, ValueError):
                continue
    return found


def test_serve_serves_until_interrupted_and_closes_its_workers(archive):
    import signal
    import subprocess
    import sys

    import httpx

    root, manifest = archive
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    command = [sys.executable, "-m", "k814util", "serve", str(root / "data" / "tarn")]
    command += ["--ini", str(root / ".814config.INI"), "--port", str(port)]
    server = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    try:
        line = server.stdout.readline().decode()
        assert line == f"Serving 1 runs at http://127.0.0.1:{port}/\n"
        base = f"http://127.0.0.1:{port}"
        deadline = time.monotonic() + 20
        while True:
            try:
                runs = httpx.get(base + API, timeout=5).json()["runs"]
                break
            except httpx.TransportError:
                assert time.monotonic() < deadline, "the server did not answer"
                time.sleep(0.1)
        run = by_mission(manifest, "tarn")
        answer = httpx.get(f"{base}{API}/{runs[0]['id']}/series?item=21", timeout=30).json()
        assert answer["count"] == run["packets_by_type"]["22"]
        workers = _children(server.pid) if os.path.isdir("/proc") else set()
        server.send_signal(signal.SIGINT)
        assert server.wait(timeout=20) == 0
    finally:
        if server.poll() is None:
            server.kill()
            server.wait()
    waited = time.monotonic() + 10
    while any(os.path.exists(f"/proc/{p}") for p in workers) and time.monotonic() < waited:
        time.sleep(0.1)
    assert not any(os.path.exists(f"/proc/{p}") for p in workers)


def test_serve_refuses_a_missing_path(capsys):
    from k814util.console import main

    assert main(["serve", "/no/such/archive", "--port", "1"]) == 1
    assert "no such file or directory: /no/such/archive" in capsys.readouterr().err


def test_serve_refuses_a_telemetry_file_outside_a_tests_folder(archive, tmp_path, capsys):
    """A telemetry file copied out of its test's folder is no catalogued run: a clear message,
    no traceback; the same file in its test's folder is served."""
    from k814util.console import main

    _, manifest = archive
    tm = Path(by_mission(manifest, "tarn")["tm_file"])
    loose = tmp_path / "loose"
    shutil.copytree(tm.parent, loose)
    with socket.socket() as taken:  # a server that started anyway stops at once
        taken.bind(("127.0.0.1", 0))
        port = str(taken.getsockname()[1])
        assert main(["serve", str(loose / tm.name), "--port", port]) == 1
    err = capsys.readouterr().err
    assert f"{loose / tm.name} is not in a test's folder" in err and "Traceback" not in err
    app = create_app([str(tm)], manifest["ini"])
    try:
        assert [e.telemetry_file for e in app.state.server.catalogue.entries()] == [str(tm)]
    finally:
        app.state.server.manager.close()


@pytest.mark.parametrize("token", ["", "  "])
def test_serve_refuses_an_empty_token(capsys, token):
    """An empty token would let through any request that says ?token=."""
    from k814util.console import main

    # A port in use: a server that took the token anyway stops at once, with another message.
    with socket.socket() as taken:
        taken.bind(("127.0.0.2", 0))
        taken.listen()
        port = str(taken.getsockname()[1])
        assert main(["serve", "--host", "127.0.0.2", "--token", token, "--port", port]) == 2
    assert "--token must not be empty" in capsys.readouterr().err


def test_serve_url():
    from k814util.console.serve import url

    assert url("127.0.0.1", 8814, None) == "http://127.0.0.1:8814/"
    assert url("::1", 80, "t") == "http://[::1]:80/?token=t"
    # A token of any characters is given in the URL as the server reads it back.
    assert url("127.0.0.1", 1, "a b&c=d/") == "http://127.0.0.1:1/?token=a%20b%26c%3Dd%2F"
    # Listening on every address: the URL names this machine, which others can reach.
    assert url("0.0.0.0", 1, None) == f"http://{socket.gethostname()}:1/"


@pytest.mark.parametrize(
    "module",
    ["k814util.web.runs", "k814util.web.catalogue", "k814util.web.decimate", "k814util.web.server"],
)
def test_the_servers_docstring_examples_run(module, archive, tmp_path, monkeypatch):
    """The examples in the server's docstrings (the documentation site shows them) parse and
    give what they say, run as the site runs them: the sample archive at build/sample-archive
    below the working directory."""
    import doctest
    import importlib

    root, _ = archive
    (tmp_path / "build").mkdir()
    (tmp_path / "build" / "sample-archive").symlink_to(root)
    monkeypatch.chdir(tmp_path)
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    found = doctest.testmod(importlib.import_module(module), optionflags=doctest.ELLIPSIS)
    assert found.failed == 0 and found.attempted > 0
