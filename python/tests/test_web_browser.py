"""The quick-look page in a real browser: Debian's headless Chromium, driven by Selenium through
Debian's chromedriver, on a real server (`k814util serve` in a subprocess) over the sample
archive. What the page plots is read back from plotly's own data on the chart elements and
compared with what the package gives a script, or with the sample generator's manifest.

A screenshot of each page goes to ``<build>/web-screenshots/`` (the build folder the module was
loaded from), else to the test's temporary folder."""

import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request
from pathlib import Path

import numpy as np
import pytest

pytest.importorskip("k814util.k814util")
pytest.importorskip("starlette")
pytest.importorskip("uvicorn")
pytest.importorskip("plotly")
webdriver = pytest.importorskip("selenium.webdriver")

from conftest import mz_curve  # noqa: E402

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
if not (os.access(CHROMIUM, os.X_OK) and os.access(CHROMEDRIVER, os.X_OK)):
    pytest.skip(
        f"browser tests need Debian's chromium and chromium-driver ({CHROMIUM}, {CHROMEDRIVER}); "
        "scripts/setup.sh installs them",
        allow_module_level=True,
    )

# Every wait is bounded: a page that never gets there fails the test, it does not hang it.
WAIT = 20.0


# ------------------------------------------------------------------------------ the server


def _free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Server:
    """`k814util serve` on an archive root, in a subprocess, until stopped."""

    def __init__(self, root: Path, token: str | None = None):
        self.port = _free_port()
        self.token = token
        self.base = f"http://127.0.0.1:{self.port}/"
        command = [sys.executable, "-m", "k814util", "serve", str(root)]
        command += ["--ini", str(root / ".814config.INI"), "--port", str(self.port)]
        command += ["--workers", "2"] + (["--token", token] if token else [])
        # A file, not a pipe: what the server and its run workers say must never fill a pipe
        # nobody reads and stop them.
        self.log = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen(command, stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + WAIT
        while True:
            if self.process.poll() is not None:
                self.log.seek(0)
                raise AssertionError(f"the server ended: {self.log.read()}")
            try:
                self.get("api/v1/runs")
                break
            except (urllib.error.URLError, ConnectionError):
                if time.monotonic() > deadline:
                    self.stop()
                    raise AssertionError("the server did not answer within 20 s") from None
                time.sleep(0.2)

    def get(self, path: str):
        request = urllib.request.Request(self.base + path)
        if self.token:
            request.add_header("Authorization", f"Bearer {self.token}")
        with urllib.request.urlopen(request, timeout=10) as response:
            return json.load(response)

    def error(self, path: str) -> tuple[int, str]:
        """The status and message of a request the API refuses."""
        try:
            self.get(path)
        except urllib.error.HTTPError as error:
            return error.code, json.load(error)["error"]
        raise AssertionError(f"{path} did not fail")

    def run_id(self, mission: str) -> str:
        return next(r["id"] for r in self.get("api/v1/runs")["runs"] if r["mission"] == mission)

    def page(self, route: str = "") -> str:
        return self.base + (f"?token={self.token}" if self.token else "") + route

    def stop(self) -> None:
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


@pytest.fixture(scope="module")
def server(archive, browser):
    root, _ = archive
    s = Server(root)
    yield s
    browser.get("about:blank")  # the page's event stream ends before the server does
    s.stop()


# ------------------------------------------------------------------------------ the browser


@pytest.fixture(scope="module")
def browser(tmp_path_factory):
    from selenium.webdriver.chrome.service import Service

    # Selenium Manager must never look for (or download) a browser or driver of its own.
    os.environ["SE_OFFLINE"] = "true"
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    profile = tmp_path_factory.mktemp("chromium-profile")
    for arg in (
        "--headless=new",
        "--no-sandbox",
        "--disable-dev-shm-usage",
        "--disable-gpu",
        "--window-size=1400,1000",
        f"--user-data-dir={profile}",
    ):
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    driver.set_page_load_timeout(WAIT)
    driver.set_script_timeout(WAIT)
    yield driver
    driver.quit()


@pytest.fixture(scope="module")
def shots(tmp_path_factory):
    """Where screenshots go: the build folder the module under test was loaded from (ctest puts
    ``<build>/python`` on the path), else a temporary folder."""
    import k814util

    build = os.environ.get("K814_BUILD_DIR")
    if not build:
        candidate = Path(k814util.__file__).resolve().parents[2]
        build = str(candidate) if (candidate / "CMakeCache.txt").is_file() else None
    folder = Path(build) / "web-screenshots" if build else tmp_path_factory.mktemp("shots")
    folder.mkdir(parents=True, exist_ok=True)
    return folder


def wait_for(driver, script: str, *args, timeout: float = WAIT, what: str = ""):
    """Runs script until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        value = driver.execute_script(script, *args)
        if value:
            return value
        if time.monotonic() > deadline:
            banner = driver.execute_script(
                "return document.getElementById('error-text').textContent"
            )
            raise AssertionError(f"timed out waiting for {what or script} (page says: {banner!r})")
        time.sleep(0.1)


def open_page(driver, url: str) -> None:
    """Loads the page fresh (a new document, not just a new hash) and waits for its view."""
    driver.get("about:blank")
    driver.get(url)
    wait_for(driver, "return document.body.dataset.ready === '1'", what=f"{url} to render")


def banner(driver) -> str:
    return driver.execute_script(
        "const b = document.getElementById('error'); return b.hidden ? '' : "
        "document.getElementById('error-text').textContent"
    )


CHART = "const gd = document.getElementById(arguments[0]); "
PLOTTED = (
    CHART + "return gd && gd.data ? [Array.from(gd.data[0].x), Array.from(gd.data[0].y)] : null"
)


def chart_version(driver, element: str) -> int:
    return int(
        driver.execute_script(CHART + "return gd ? Number(gd.dataset.version || 0) : 0", element)
    )


# ------------------------------------------------------------------------------ tests


def test_catalogue_lists_the_sample_runs(browser, server, archive, shots):
    _, manifest = archive
    open_page(browser, server.page())
    rows = browser.execute_script(
        "return Array.from(document.querySelectorAll('#runs tbody tr'), "
        "tr => Array.from(tr.cells, td => td.textContent))"
    )
    expected = sorted(
        (r["mission"], str(r["tid"]), r["tid_dir"].split("-", 5)[5]) for r in manifest["runs"]
    )
    assert sorted((r[0], r[2], r[3]) for r in rows) == expected
    assert all(r[7] == "" for r in rows), "a sample run is listed with an error"
    browser.save_screenshot(str(shots / "catalogue.png"))

    # The mission filter keeps only that mission's runs, and says how many of all it shows.
    browser.execute_script(
        "const s = document.getElementById('f-mission'); s.value = 'vireo';"
        "s.dispatchEvent(new Event('change'))"
    )
    missions = browser.execute_script(
        "return Array.from(document.querySelectorAll('#runs tbody tr'), "
        "tr => tr.cells[0].textContent)"
    )
    assert missions == ["vireo"]
    assert browser.find_element("id", "run-count").text == f"1 of {len(manifest['runs'])} runs"
    assert "mission=vireo" in browser.current_url

    # The date filter: runs started on or after the day given (the sample's runs are years apart).
    later = max(manifest["runs"], key=lambda r: r["start_unix"])
    day = time.strftime("%Y-%m-%d", time.gmtime(later["start_unix"]))
    browser.execute_script(
        "const m = document.getElementById('f-mission'); m.value = '';"
        "const s = document.getElementById('f-since'); s.value = arguments[0];"
        "s.dispatchEvent(new Event('change'))",
        day,
    )
    runs = browser.execute_script(
        "return Array.from(document.querySelectorAll('#runs tbody tr'), tr => tr.dataset.run)"
    )
    assert runs == [server.run_id(later["mission"])]


def test_run_summary_gives_the_runs_packets(browser, server, archive, shots):
    _, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    open_page(browser, server.page(f"#/run/{server.run_id('tarn')}"))
    assert browser.find_element("id", "packet-count").text == str(run["packets"])
    types = browser.execute_script(
        "return Array.from(document.querySelectorAll('#packet-types tbody tr'), "
        "tr => [Number(tr.cells[0].textContent), Number(tr.cells[2].textContent)])"
    )
    assert {t: n for t, n in types} == {int(t): n for t, n in run["packets_by_type"].items()}
    assert banner(browser) == ""
    browser.save_screenshot(str(shots / "summary.png"))


def test_trend_chart_plots_the_items_values(browser, server, tarn, shots):
    _, f = tarn
    run_id = server.run_id("tarn")
    open_page(browser, server.page(f"#/run/{run_id}/trends?item=SEB:HV_MON&item=LIM:PRESSURE"))
    wait_for(browser, CHART + "return gd.dataset.version >= 1", "chart-0", what="the first chart")
    x, y = browser.execute_script(PLOTTED, "chart-0")
    s = f.series("SEB:HV_MON", mode="sci")
    assert browser.execute_script(CHART + "return gd.dataset.decimated", "chart-0") == "0"
    np.testing.assert_array_equal(np.array(x), s["relative_time"])
    np.testing.assert_array_equal(np.array(y), s["value"])

    # Each limit violation of the item is shaded over its span, in relative seconds.
    wait_for(browser, CHART + "return gd.dataset.version >= 1", "chart-1", what="the second chart")
    spans = browser.execute_script(
        CHART + "return gd.layout.shapes.filter(s => s.name && s.name.startsWith('violation'))"
        ".map(s => [s.name, s.x0, s.x1])",
        "chart-1",
    )
    t0 = f.packet_summary().t0_unix
    expected = [
        (f"violation {v['level']}", v["start_unix"] - t0, v["end_unix"] - t0)
        for v in tarn[0]["limit_violations"]
        if v["mnemonic"] == "LIM:PRESSURE"
    ]
    assert len(spans) == len(expected)
    for (name, x0, x1), (want, start, end) in zip(sorted(spans), sorted(expected)):
        assert name == want
        assert x0 == pytest.approx(start, abs=2e-3)
        assert x1 == pytest.approx(end, abs=2e-3)
    # Markers shade the charts too.
    assert browser.execute_script(
        CHART + "return gd.layout.shapes.filter(s => (s.name || '').startsWith('marker ')).length",
        "chart-0",
    ) == len(f.markers())
    browser.save_screenshot(str(shots / "trends.png"))


def test_decimated_chart_keeps_extremes_and_a_zoom_refetches_at_full_resolution(
    browser, server, tarn
):
    _, f = tarn
    run_id = server.run_id("tarn")
    open_page(browser, server.page(f"#/run/{run_id}/trends?item=SEB:EMON_A&item=SEB:HV_MON"))
    wait_for(browser, CHART + "return gd.dataset.version >= 1", "chart-0", what="the chart")
    s = f.series("SEB:EMON_A", mode="sci")
    width = browser.execute_script(CHART + "return gd._fullLayout._size.w", "chart-0")
    assert len(s["value"]) > width, "the sample's item no longer needs decimating at this width"
    assert browser.execute_script(CHART + "return gd.dataset.decimated", "chart-0") == "1"
    assert "decimated" in browser.find_element("css selector", ".chart-panel .pill").text
    x, y = (np.array(a) for a in browser.execute_script(PLOTTED, "chart-0"))
    assert len(x) <= width + 4  # about a point per pixel column: first, min, max, last of each 4
    # Every point drawn is a sample of the item, and no extreme is lost.
    pairs = set(zip(s["relative_time"].tolist(), s["value"].tolist()))
    assert all((a, b) in pairs for a, b in zip(x.tolist(), y.tolist()))
    assert y.min() == s["value"].min() and y.max() == s["value"].max()
    assert x[0] == s["relative_time"][0] and x[-1] == s["relative_time"][-1]

    # A zoom re-fetches the visible range: every chart then holds exactly that range's samples.
    before = chart_version(browser, "chart-0")
    browser.execute_script(
        CHART + "Plotly.relayout(gd, {'xaxis.range[0]': 40, 'xaxis.range[1]': 60})", "chart-1"
    )
    wait_for(
        browser,
        CHART + "return Number(gd.dataset.version) > arguments[1]",
        "chart-0",
        before,
        what="the zoomed chart to be re-fetched",
    )
    x, y = browser.execute_script(PLOTTED, "chart-0")
    window = f.series("SEB:EMON_A", mode="sci", start=40, end=60)
    assert browser.execute_script(CHART + "return gd.dataset.decimated", "chart-0") == "0"
    np.testing.assert_array_equal(np.array(x), window["relative_time"])
    np.testing.assert_array_equal(np.array(y), window["value"])
    assert "start=40.000" in browser.current_url and "end=60.000" in browser.current_url


def test_utc_axis_shows_t0_plus_relative_time(browser, server, tarn):
    from datetime import datetime, timezone

    _, f = tarn
    t0 = f.packet_summary().t0_unix
    run_id = server.run_id("tarn")
    open_page(browser, server.page(f"#/run/{run_id}/trends?item=SEB:HV_MON"))
    wait_for(browser, CHART + "return gd.dataset.version >= 1", "chart-0", what="the chart")
    browser.execute_script(
        "const s = document.getElementById('time-mode'); s.value = 'utc';"
        "s.dispatchEvent(new Event('change'))"
    )
    try:
        wait_for(
            browser,
            CHART + "return gd && gd.layout && gd.layout.xaxis.type === 'date' && gd.data",
            "chart-0",
            what="the UTC axis",
        )
        x, _ = browser.execute_script(PLOTTED, "chart-0")
        s = f.series("SEB:HV_MON", mode="sci")
        utc = [
            datetime.fromtimestamp(t0 + r, timezone.utc).strftime("%Y-%m-%d %H:%M:%S.%f")[:-3]
            for r in s["relative_time"][[0, -1]]
        ]
        assert [x[0], x[-1]] == utc
        # A zoom given in UTC fetches the same seconds as one given in relative time.
        before = chart_version(browser, "chart-0")
        start = datetime.fromtimestamp(t0 + 40, timezone.utc).strftime("%Y-%m-%d %H:%M:%S.%f")
        end = datetime.fromtimestamp(t0 + 60, timezone.utc).strftime("%Y-%m-%d %H:%M:%S.%f")
        browser.execute_script(
            CHART + "Plotly.relayout(gd, {'xaxis.range[0]': arguments[1], "
            "'xaxis.range[1]': arguments[2]})",
            "chart-0",
            start,
            end,
        )
        wait_for(
            browser,
            CHART + "return Number(gd.dataset.version) > arguments[1]",
            "chart-0",
            before,
            what="the zoomed chart",
        )
        count = int(browser.execute_script(CHART + "return gd.dataset.count", "chart-0"))
        assert count == len(f.series("SEB:HV_MON", mode="sci", start=40, end=60)["value"])
    finally:
        browser.execute_script("localStorage.removeItem('k814util.time')")


def test_limit_lines_are_drawn_in_their_sets_mode(browser, server, tarn):
    run_id = server.run_id("tarn")
    open_page(browser, server.page(f"#/run/{run_id}/trends?item=LIM:PRESSURE&mode=raw"))
    wait_for(browser, CHART + "return gd.dataset.version >= 1", "chart-0", what="the chart")
    lines = browser.execute_script(
        CHART + "return gd.layout.shapes.filter(s => (s.name || '').startsWith('limit '))"
        ".map(s => [s.name, s.y0])",
        "chart-0",
    )
    # Set 1 of LIM:PRESSURE checks raw values (set 2 eng ones): its yellow and red limits.
    raw = [v for v in tarn[0]["limit_violations"] if v["id"] == 3001 and v["value_mode"] == "raw"]
    assert sorted(map(tuple, lines)) == sorted({(f"limit {v['level']}", v["limit"]) for v in raw})


def test_message_log_newest_first(browser, server, tarn, shots):
    _, f = tarn
    open_page(browser, server.page(f"#/run/{server.run_id('tarn')}/log"))
    shown = browser.execute_script(
        "return Array.from(document.querySelectorAll('#log tbody tr'), "
        "tr => tr.lastChild.textContent)"
    )
    assert shown == list(f.messages()["msg"])[::-1]
    browser.save_screenshot(str(shots / "log.png"))
    box = browser.find_element("id", "log-filter")
    box.send_keys("nominal")
    wait_for(
        browser,
        "return document.querySelectorAll('#log tbody tr').length === arguments[0]",
        sum("nominal" in m for m in f.messages()["msg"]),
        what="the filtered log",
    )


def test_clicking_the_tic_shows_that_scans_spectrum(browser, server, tarn_run, shots):
    from selenium.webdriver.common.action_chains import ActionChains

    designed = tarn_run["science"]["scans"][20]  # the last scan, alone at 85.8 s
    open_page(browser, server.page(f"#/run/{server.run_id('tarn')}/spectra"))
    wait_for(browser, CHART + "return gd.dataset.version >= 1", "tic", what="the TIC")
    # Where plotly drew the scan's point, from the element's top-left corner.
    px, py, width, height = browser.execute_script(
        CHART
        + """
        for (const trace of gd._fullData) {
          const k = trace.customdata.indexOf(arguments[1]);
          if (k < 0) continue;
          const xa = gd._fullLayout[trace.xaxis.replace('x', 'xaxis')];
          const ya = gd._fullLayout[trace.yaxis.replace('y', 'yaxis')];
          return [xa._offset + xa.l2p(trace.x[k]), ya._offset + ya.l2p(trace.y[k]),
                  gd.clientWidth, gd.clientHeight];
        }
        return null;""",
        "tic",
        designed["index"],
    )
    element = browser.find_element("id", "tic")
    ActionChains(browser).move_to_element_with_offset(
        element, int(px - width / 2), int(py - height / 2)
    ).pause(0.3).click().perform()
    wait_for(
        browser,
        CHART + "return gd.dataset.scan === String(arguments[1])",
        "spectrum",
        designed["index"],
        what="the clicked scan's spectrum",
    )
    mz, counts = browser.execute_script(PLOTTED, "spectrum")
    counts = np.array(counts)
    assert len(counts) == designed["bins"]
    assert counts.sum() == designed["count_sum"]
    assert counts.max() == designed["count_max"] and counts.argmax() == designed["max_bin"]
    for b, c in designed["samples"]:
        assert counts[b] == c
    np.testing.assert_allclose(mz, mz_curve(designed, designed["bins"]), rtol=1e-9)
    # The culled spectrum: (bin, count) pairs as the scan object gives them.
    import k814util

    pairs = np.array(k814util.scans(tarn_run["tm_file"])[designed["index"]].culled_counts())
    culled = browser.execute_script(
        CHART + "return gd.data[1] && Array.from(gd.data[1].y)", "spectrum"
    )
    if len(pairs) >= 2:
        np.testing.assert_array_equal(np.array(culled), pairs[1::2])
    else:
        assert culled is None
    assert f"scan={designed['index']}" in browser.current_url
    browser.save_screenshot(str(shots / "spectra.png"))


def test_api_errors_are_shown_as_the_apis_message(browser, server, shots):
    open_page(browser, server.base + "#/run/no-such-run")
    status, message = server.error("api/v1/runs/no-such-run")
    assert status == 404
    assert message in banner(browser)
    assert message in browser.find_element("id", "view").text

    run_id = server.run_id("tarn")
    open_page(browser, server.page(f"#/run/{run_id}/trends?item=SEB:EMON_X"))
    status, message = server.error(f"api/v1/runs/{run_id}/series?item=SEB:EMON_X&max_points=100")
    assert status == 400
    wait_for(browser, CHART + "return gd.dataset.error", "chart-0", what="the chart's error")
    assert message in browser.find_element("id", "chart-0").text
    assert message in banner(browser)
    browser.save_screenshot(str(shots / "error.png"))


def test_a_growing_run_updates_its_chart(browser, tarn, tmp_path, shots):
    """A copy of the sample's TARN run, cut at a packet, served with a token; a writer appends
    the rest from the whole copy in three steps. The chart then holds the whole file's series,
    without reloading the page."""
    from k814util.sample import generate_archive

    import k814util

    _, f = tarn
    root = tmp_path / "growing"
    manifest = generate_archive(root)
    tm = Path(next(r["tm_file"] for r in manifest["runs"] if r["mission"] == "tarn"))
    whole = tm.read_bytes()
    assert whole == Path(f.filename()).read_bytes()  # so f's series is the grown file's
    headers = k814util.read_packets(str(tm), layout="tom")
    offsets = headers["offset"]
    # The last step carries the last SEB housekeeping packet, whose samples end the series.
    last_hk = int(np.flatnonzero(headers["packet_type"] == 22)[-1])
    cuts = [int(offsets[i]) for i in (len(offsets) // 2, 2 * len(offsets) // 3, last_hk)]
    cuts.append(len(whole))
    tm.write_bytes(whole[: cuts[0]])

    server = Server(root, token="k814-test-token")
    try:
        run_id = server.run_id("tarn")
        open_page(browser, server.page(f"#/run/{run_id}/trends?item=SEB:HV_MON"))
        wait_for(browser, CHART + "return gd.dataset.version >= 1", "chart-0", what="the chart")
        full = f.series("SEB:HV_MON", mode="sci")
        x, _ = browser.execute_script(PLOTTED, "chart-0")
        assert 0 < len(x) < len(full["relative_time"])
        # A second tab watches the message log.
        trends_tab = browser.current_window_handle
        browser.switch_to.new_window("tab")
        log_tab = browser.current_window_handle
        open_page(browser, server.page(f"#/run/{run_id}/log"))
        messages = list(f.messages()["msg"])
        assert len(browser.find_elements("css selector", "#log tbody tr")) < len(messages)
        browser.switch_to.window(trends_tab)
        # Without the cookie the server gives with the page, only the token the page sends
        # itself (a Bearer header, a query parameter for the event stream) lets it through.
        browser.delete_all_cookies()
        bare = browser.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "fetch('api/v1/runs').then(r => done(r.status), e => done(String(e)))"
        )
        assert bare == 401
        found = browser.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "window.k814.api('/runs').then(a => done(a.runs.length), e => done(e.message))"
        )
        assert found == len(manifest["runs"])
        opened = browser.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "const es = new EventSource(window.k814.eventsUrl(arguments[0]));"
            "es.onopen = () => { es.close(); done('open'); };"
            "es.onerror = () => { es.close(); done('refused'); };",
            run_id,
        )
        assert opened == "open"
        # The event streams are open before the file grows.
        time.sleep(1.0)

        # The writer: the rest of the file in three steps, as a station appends packets.
        with open(tm, "ab") as out:
            for a, b in zip(cuts, cuts[1:]):
                if a != cuts[0]:
                    time.sleep(0.4)
                out.write(whole[a:b])
                out.flush()
        written = time.monotonic()
        last = float(full["relative_time"][-1])
        wait_for(
            browser,
            CHART + "const x = gd.data[0].x; return x.length && x[x.length - 1] >= arguments[1]",
            "chart-0",
            last,
            timeout=10,
            what="the chart to show the appended packets",
        )
        delay = time.monotonic() - written
        print(f"the chart showed the appended packets {delay:.2f} s after the last write")
        x, y = browser.execute_script(PLOTTED, "chart-0")
        np.testing.assert_array_equal(np.array(x), full["relative_time"])
        np.testing.assert_array_equal(np.array(y), full["value"])
        assert browser.execute_script("return document.getElementById('live').hidden") is False
        assert banner(browser) == ""
        browser.save_screenshot(str(shots / "live.png"))
        # The page's own promise is two seconds; a loaded two-core machine gets some slack.
        assert delay < 5.0, f"the chart caught up {delay:.1f} s after the last write"

        # The log tab took the new lines too, newest first, the new ones marked.
        browser.switch_to.window(log_tab)
        wait_for(
            browser,
            "return document.querySelectorAll('#log tbody tr').length === arguments[0]",
            len(messages),
            timeout=10,
            what="the log to show the appended lines",
        )
        shown = browser.execute_script(
            "return Array.from(document.querySelectorAll('#log tbody tr'), "
            "tr => tr.lastChild.textContent)"
        )
        assert shown == messages[::-1]
        assert browser.find_elements("css selector", "#log tbody tr.new")
        browser.save_screenshot(str(shots / "live-log.png"))
    finally:
        for handle in browser.window_handles[1:]:
            browser.switch_to.window(handle)
            browser.close()
        browser.switch_to.window(browser.window_handles[0])
        browser.get("about:blank")
        server.stop()
        shutil.rmtree(root, ignore_errors=True)


def test_screenshot_script_writes_the_run_page(archive, tarn, tmp_path, capsys):
    """scripts/web_screenshot.py, which the demo runs: its own server, the API checked, a PNG."""
    import importlib.util

    script = Path(__file__).resolve().parents[2] / "scripts" / "web_screenshot.py"
    spec = importlib.util.spec_from_file_location("web_screenshot", script)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    root, _ = archive
    out = tmp_path / "run-page.png"
    assert module.main([str(root), str(out), "--item", "SEB:HV_MON"]) == 0
    assert out.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    said = capsys.readouterr().out
    samples = len(tarn[1].series("SEB:HV_MON")["value"])
    assert f"SEB:HV_MON has {samples} samples" in said and f"The run page: {out}" in said
    # A bad item is one line and status 1, not a traceback.
    assert module.main([str(root), str(tmp_path / "x.png"), "--item", "SEB:NOPE"]) == 1
    assert "web_screenshot:" in capsys.readouterr().out


def test_a_run_that_cannot_be_bound_says_why(browser, tmp_path, shots):
    """An archive of two runs per mission, the last VIREO one with its tm.meta cut short: the
    catalogue lists it with its error, and its page shows the binding's message (422) while
    the other runs keep working."""
    from k814util.sample import generate_archive

    root = tmp_path / "runs"
    manifest = generate_archive(root, runs=2)
    server = Server(root)
    try:
        runs = server.get("api/v1/runs")["runs"]
        assert len(runs) == len(manifest["runs"])
        broken = [r for r in runs if r["error"]]
        last_vireo = [r for r in manifest["runs"] if r["mission"] == "vireo"][-1]
        assert [r["tid"] for r in broken] == [last_vireo["tid"]]
        open_page(browser, server.page())
        errors = browser.execute_script(
            "return Object.fromEntries(Array.from(document.querySelectorAll('#runs tbody tr'), "
            "tr => [tr.dataset.run, tr.cells[7].textContent]))"
        )
        assert errors == {r["id"]: r["error"] for r in runs}

        open_page(browser, server.page(f"#/run/{broken[0]['id']}"))
        status, message = server.error(f"api/v1/runs/{broken[0]['id']}")
        assert status == 422
        assert message in banner(browser)
        assert message in browser.find_element("id", "view").text
        browser.save_screenshot(str(shots / "unbindable.png"))

        good = next(r for r in runs if r["mission"] == "vireo" and not r["error"])
        open_page(browser, server.page(f"#/run/{good['id']}"))
        assert banner(browser) == ""
        assert browser.find_element("id", "packet-count").text.isdigit()
    finally:
        browser.get("about:blank")
        server.stop()
