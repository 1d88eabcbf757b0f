import subprocess
import sys
from pathlib import Path

import pytest


def _run(*args, env_ini=None, tool=None):
    env = None
    if tool:
        import os

        env = dict(os.environ, K814INFO=tool)
    cmd = [sys.executable, "-m", "k814util", *args]
    if env_ini:
        cmd += ["--ini", str(env_ini)]
    return subprocess.run(cmd, capture_output=True, text=True, env=env, check=False)


def test_info_prints_metadata_and_verified_group(archive, info_tool):
    root, manifest = archive
    for run in manifest["runs"]:
        res = _run("info", run["tm_file"], env_ini=root / ".814config.INI", tool=info_tool)
        assert res.returncode == 0, res.stderr
        assert f"tid_dir        {run['tid_dir']}" in res.stdout
        assert f"group {run['group']}: verified" in res.stdout
        assert f"Unix {run['start_unix']})" in res.stdout


@pytest.mark.parametrize("case", ["missing file", "no tm.meta", "bad group"])
def test_info_failures_match_initialisation(tmp_path, archive, info_tool, case):
    root, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == "vireo")
    ini = root / ".814config.INI"
    if case == "missing file":
        path = tmp_path / "nope.tlm"
        expected = f"tmfile does not exist: {path}\n"
    elif case == "no tm.meta":
        path = tmp_path / "lonely.tlm"
        path.write_bytes(Path(run["tm_file"]).read_bytes())
        expected = f"A valid tm.meta could not be found for {path}\n"
    else:
        path = tmp_path / "run.tlm"
        path.write_bytes(b"\x00")
        (tmp_path / "tm.meta").write_text(
            '{"gse": {"version": 3, "mission": "vireo", "model": "em"}}'
        )
        expected = f"VIREO_EM in .814config.INI either does not exist or is invalid for {path}\n"
    res = _run("info", str(path), env_ini=ini, tool=info_tool)
    assert res.returncode == 1
    assert res.stderr.endswith(expected)
