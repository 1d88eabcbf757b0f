import os
import shutil
from pathlib import Path

import pytest
from k814util.sample import generate_archive


@pytest.fixture(scope="session")
def archive(tmp_path_factory):
    root = tmp_path_factory.mktemp("archive")
    manifest = generate_archive(root)
    return root, manifest


@pytest.fixture
def info_tool():
    tool = os.environ.get("K814INFO") or shutil.which("k814info")
    if not tool:
        bundled = Path(__file__).resolve().parents[1] / "k814util" / "bin" / "k814info"
        tool = str(bundled) if bundled.exists() else None
    if not tool:
        pytest.skip("k814info is not built (ctest sets K814INFO)")
    return tool
