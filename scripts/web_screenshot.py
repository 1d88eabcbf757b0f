"""Starts the quick-look server on an archive for a moment, fetches a page and a series through
its API, and writes a screenshot of a run's page drawn by headless Chromium.

    python scripts/web_screenshot.py ARCHIVE OUT.png [--mission tarn] [--item SEB:HV_MON]

ARCHIVE is a sample archive's root (its ``.814config.INI`` is used). Needs the web extra,
Selenium, and Debian's chromium and chromium-driver (scripts/setup.sh installs them); nothing
is downloaded. Prints the path of the screenshot it wrote; exit status 1 with one line on
failure.
"""

from __future__ import annotations

import argparse
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
WAIT = 30.0


def _free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _get(url: str):
    with urllib.request.urlopen(url, timeout=30) as response:
        body = response.read()
    return json.loads(body) if response.headers.get_content_type() == "application/json" else body


def _wait(driver, script: str, what: str) -> None:
    deadline = time.monotonic() + WAIT
    while not driver.execute_script(script):
        if time.monotonic() > deadline:
            said = driver.execute_script("return document.getElementById('error-text').textContent")
            raise RuntimeError(f"the page did not show {what} within {WAIT:.0f} s {said!r}")
        time.sleep(0.2)


def screenshot(archive: str, out: str, mission: str, item: str) -> str:
    """Serves archive, checks the API answers, and screenshots the run page of mission's
    first run with item's trend.

    Parameters
    ----------
    archive : str
        An archive root holding ``.814config.INI``.
    out : str
        The PNG to write.
    mission : str
        Whose run to show ("tarn" or "vireo").
    item : str
        The item whose trend the page draws.

    Returns
    -------
    str
        The path written.

    Raises
    ------
    RuntimeError
        When the server, the API or the page does not work as it should.
    """
    os.environ["SE_OFFLINE"] = "true"  # Selenium must not look for a browser of its own
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    port = _free_port()
    ini = os.path.join(archive, ".814config.INI")
    # The server's words go to a file: a pipe nobody reads could fill and stop it.
    log = tempfile.TemporaryFile(mode="w+")
    server = subprocess.Popen(
        [sys.executable, "-m", "k814util", "serve", archive, "--ini", ini, "--port", str(port)],
        stdout=log,
        stderr=subprocess.STDOUT,
    )
    base = f"http://127.0.0.1:{port}/"
    driver = None
    try:
        deadline = time.monotonic() + WAIT
        while True:
            if server.poll() is not None:
                log.seek(0)
                raise RuntimeError(f"the server ended: {log.read().strip()}")
            try:
                runs = _get(base + "api/v1/runs")["runs"]
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise RuntimeError("the server did not answer") from None
                time.sleep(0.2)
        run = next((r for r in runs if r["mission"] == mission), None)
        if run is None:
            raise RuntimeError(f"the archive has no {mission} run")
        page = _get(base)
        if b"app.js" not in page:
            raise RuntimeError("the server's page is not the quick-look page")
        series = _get(f"{base}api/v1/runs/{run['id']}/series?item={item}&max_points=1000")
        print(
            f"{run['test_name']}: {item} has {series['count']} samples "
            f"({len(series['value'])} sent, decimated: {series['decimated']})"
        )

        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for arg in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu"):
            options.add_argument(arg)
        options.add_argument("--window-size=1400,1000")
        driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        driver.set_page_load_timeout(WAIT)
        driver.get(f"{base}#/run/{run['id']}/trends?item={item}")
        _wait(driver, "return document.body.dataset.ready === '1'", "the run")
        _wait(
            driver,
            "const gd = document.getElementById('chart-0');"
            "return gd && (gd.dataset.error || Number(gd.dataset.version) >= 1)",
            f"the trend of {item}",
        )
        error = driver.execute_script("return document.getElementById('chart-0').dataset.error")
        if error:
            raise RuntimeError(error)
        time.sleep(0.5)  # plotly finishes drawing
        os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
        if not driver.save_screenshot(out):
            raise RuntimeError(f"cannot write {out}")
        return out
    finally:
        if driver is not None:
            driver.quit()
        server.terminate()
        try:
            server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()
        log.close()


def main(args: list[str] | None = None) -> int:
    """The command line: ``ARCHIVE OUT.png [--mission M] [--item I]``.

    Parameters
    ----------
    args : list of str, optional
        The arguments (default: ``sys.argv[1:]``).

    Returns
    -------
    int
        The exit status.
    """
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("archive")
    parser.add_argument("out")
    parser.add_argument("--mission", default="tarn")
    parser.add_argument("--item", default="SEB:HV_MON")
    ns = parser.parse_args(args)
    for tool in (CHROMIUM, CHROMEDRIVER):
        if not os.access(tool, os.X_OK):
            print(f"web_screenshot: {tool} is missing (scripts/setup.sh installs it)")
            return 1
    try:
        path = screenshot(ns.archive, ns.out, ns.mission, ns.item)
    except (RuntimeError, ImportError, OSError) as exc:
        print(f"web_screenshot: {exc}")
        return 1
    print(f"The run page: {path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
