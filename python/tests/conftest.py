import os
import shutil
from pathlib import Path

import pytest
from k814util.sample import generate_archive

import k814util


@pytest.fixture(scope="session")
def archive(tmp_path_factory):
    root = tmp_path_factory.mktemp("archive")
    manifest = generate_archive(root)
    return root, manifest


@pytest.fixture
def info_tool():
    tool = os.environ.get("K814INFO") or shutil.which("k814info")
    if not tool:
        bundled = Path(k814util.__file__).resolve().parent / "bin" / "k814info"
        tool = str(bundled) if bundled.exists() else None
    if not tool:
        pytest.skip("k814info is not built (ctest sets K814INFO)")
    return tool
