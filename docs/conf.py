"""Sphinx configuration of the k814util documentation site.

The site documents the package that Python imports, so the build must find a built k814util
(the build tree's ``python`` folder or the installed package, as ``scripts/docs.sh`` arranges).
The tutorials and the docstrings' examples run against a sample archive: ``$K814_DOCS_SAMPLE``
names the folder that holds ``build/sample-archive`` (``docs/build.py`` writes one there); the
examples use the paths the README uses, relative to that folder.
"""

import doctest
import logging
import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent / "_ext"))

import k814util  # noqa: E402


def _sample_folder() -> Path:
    """The folder whose build/sample-archive the examples read: $K814_DOCS_SAMPLE, else one
    beside the default output (written when missing)."""
    folder = Path(
        os.environ.get("K814_DOCS_SAMPLE") or Path(__file__).parent.parent / "build/docs/sample"
    ).resolve()
    archive = folder / "build" / "sample-archive"
    if not (archive / "manifest.json").is_file():
        k814util.generate_archive(archive)
    return folder


# The executed pages (notebooks run in kernels that inherit this environment) and the
# docstrings' examples find the sample through these.
SAMPLE = _sample_folder()
os.environ["K814_DOCS_SAMPLE"] = str(SAMPLE)
os.environ["INI814"] = str(SAMPLE / "build" / "sample-archive" / ".814config.INI")

project = "k814util"
author = "the k814util developers"
copyright = "the k814util developers"
release = version = k814util.__version__

extensions = [
    "sphinx.ext.autodoc",
    "sphinx.ext.autosummary",
    "sphinx.ext.doctest",
    "sphinx.ext.intersphinx",
    "numpydoc",
    "myst_nb",
    "k814console",
]

# Percent-scripts are notebooks: myst-nb reads them through jupytext and runs them.
nb_custom_formats = {".py": ["jupytext.reads", {"fmt": "py:percent"}]}
nb_execution_mode = "force"
nb_execution_raise_on_error = True  # a failing cell fails the build
nb_execution_timeout = 240
nb_execution_show_tb = True
nb_merge_streams = True
myst_enable_extensions = ["colon_fence", "deflist"]

source_suffix = {".rst": "restructuredtext", ".md": "myst-nb", ".py": "myst-nb"}
exclude_patterns = ["_build", "conf.py", "build.py", "_ext", "**/.ipynb_checkpoints"]
root_doc = "index"

# numpydoc renders the sections; the member tables of classes come from autodoc's :members:.
numpydoc_show_class_members = False
numpydoc_class_members_toctree = False
numpydoc_xref_param_type = False
autodoc_member_order = "bysource"
autodoc_typehints = "none"  # the numpydoc sections carry the types
autodoc_default_options = {"members": True, "undoc-members": False, "exclude-members": "thisown"}
autosummary_generate = False

intersphinx_mapping = {}  # nothing may be downloaded while building

html_theme = "pydata_sphinx_theme"
html_title = "k814util"
html_static_path = []
html_theme_options = {
    "navigation_with_keys": False,
    "show_toc_level": 2,
    "secondary_sidebar_items": ["page-toc"],
}
html_last_updated_fmt = None

# The sample's damaged TARN file makes the binding report every skipped byte run, at each of the
# many bindings the examples make: those lines go to a file beside the sample rather than between
# Sphinx's own messages (which stay where they are). Workers of runs capture their own.
DIAGNOSTICS_LOG = SAMPLE / "doctest-diagnostics.log"
_diagnostics = logging.getLogger("k814util")
if not any(getattr(h, "baseFilename", None) == str(DIAGNOSTICS_LOG) for h in _diagnostics.handlers):
    _diagnostics.addHandler(logging.FileHandler(DIAGNOSTICS_LOG, mode="w", delay=True))
_diagnostics.propagate = False

# The examples in the docstrings run with the sample archive's folder as working directory,
# where they find build/sample-archive as the README's examples do.
# tarn_tm and vireo_tm name the sample's two telemetry files, as the API reference says; VIREO
# is bound first since plug-ins load once per process, for the first mission bound.
doctest_global_setup = """
import doctest
import os
os.chdir(os.environ["K814_DOCS_SAMPLE"])
tarn_tm = "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/tarn_12345.tlm"
vireo_tm = "build/sample-archive/data/vireo/2016-09-14-09.05.10-23456-vireo_sample/vireo_23456.tlm"
import k814util
k814util.diagnostics_to_logging()  # again for each page: an example may turn it off
k814util.bind(vireo_tm)
"""
doctest_test_doctest_blocks = "default"
# Tables print with trailing blanks; examples wrap long lines.
doctest_default_flags = (
    doctest.ELLIPSIS
    | doctest.IGNORE_EXCEPTION_DETAIL
    | doctest.DONT_ACCEPT_TRUE_FOR_1
    | doctest.NORMALIZE_WHITESPACE
)
