"""The documentation as a reader of help() and of the site meets it: every public name has a
numpydoc docstring whose sections match its signature (numpydoc's own validator), the compiled
classes say what they are for, and the tutorials are notebooks jupytext reads.

The site itself, its executed tutorials and the docstrings' examples are built and run by the
ctest test "docs" (docs/build.py)."""

import inspect
from pathlib import Path

import pytest

pytest.importorskip("k814util.k814util")
validate = pytest.importorskip("numpydoc.validate")
import k814util  # noqa: E402

DOCS = Path(__file__).resolve().parents[2] / "docs"

# The package's own names whose documentation is checked here; the mass-spectrometry modules'
# and the sample generator's names are documented by their authors and checked by the site
# build.
FUNCTIONS = [
    "k814util.bind",
    "k814util.open",
    "k814util.describe_test",
    "k814util.message_log",
    "k814util.vireo_markers",
    "k814util.scans",
    "k814util.read_packets",
    "k814util.capture_diagnostics",
    "k814util.diagnostics_to_logging",
    "k814util.diagnostics.binding_diagnostics",
    "k814util.runs.set_max_workers",
    "k814util.limits.limits",
    "k814util.limits.limit_violations",
    "k814util.windows.spans",
    "k814util.windows.to_unix",
    "k814util.windows.select",
    "k814util.windows.resample",
    "k814util.catalogue.parse_mode",
    "k814util.catalogue.mode_name",
    "k814util.catalogue.matching_items",
    "k814util.console.main",
    "k814util.console.parser",
]
CLASSES = [
    "k814util.Run",
    "k814util.runs.RunPool",
    "k814util.archive.Archive",
    "k814util.archive.RunError",
    "k814util.catalogue.ItemCatalogue",
    "k814util.BindingError",
    "k814util.TelemetryFileNotFoundError",
    "k814util.StaleBindingError",
    "k814util.UnknownItemError",
    "k814util.Diagnostic",
    "k814util.PacketSummary",
    "k814util.PacketTypeCount",
    "k814util.SebSequence",
]
COMPILED = [
    "TMFile",
    "TMPacket",
    "TMDatapoint",
    "PyMsgLogCache",
    "PyMsgLogLine",
    "PyVireoMarkerCache",
    "PyVireoMarker",
    "MetaMarker",
    "ScienceDataCacheWrapper",
    "PythonStyleTarnScan",
    "RfStatusEntry",
    "ListOfIntegers",
    "ListOfFloats",
    "ListOfRfStatusEntrys",
    "ListOfTMDatapoints",
    "ListOfMetaMarkers",
]
# Python methods written into these classes (the compiled methods keep the binding's
# signature-first documentation, which test_module checks).
METHOD_OWNERS = ["k814util.Run", "k814util.archive.Archive", "k814util.TMFile"]
TMFILE_METHODS = [
    "series",
    "dataframe",
    "packets",
    "items",
    "messages",
    "vireo_markers",
    "markers",
    "meta_markers",
    "tarn_markers",
    "mission",
    "packet_summary",
    "packet_types",
    "seb_sequences",
    "seb_commands",
    "limits",
    "limit_violations",
    "diagnostics",
    "refresh",
]

# What every checked docstring must get right: a docstring at all, every parameter documented
# and none that is not one, a Returns (or Yields) section where the function gives something,
# the sections in numpydoc's order and no unknown section.
REQUIRED = {"GL06", "GL07", "GL08", "PR01", "PR02", "PR03", "PR10", "RT01", "YD01"}


def problems(name, required=REQUIRED):
    found = validate.validate(name)["errors"]
    return [f"{code}: {message}" for code, message in found if code in required]


@pytest.mark.parametrize("name", FUNCTIONS + CLASSES)
def test_public_names_have_numpydoc_docstrings_with_examples(name):
    assert problems(name, REQUIRED | {"EX01"}) == []


def _methods():
    for owner in METHOD_OWNERS:
        cls = validate.Validator._load_obj(owner)
        names = TMFILE_METHODS if owner == "k814util.TMFile" else sorted(vars(cls))
        for method in names:
            member = vars(cls).get(method)
            if method.startswith("_") or not (
                inspect.isfunction(member) or isinstance(member, property)
            ):
                continue
            yield f"{owner}.{method}"


@pytest.mark.parametrize("name", list(_methods()))
def test_methods_document_their_parameters_and_results(name):
    assert problems(name) == []


# A run's and an archive's methods are what scripts call most; each shows itself at work.
@pytest.mark.parametrize(
    "name", [m for m in _methods() if m.startswith(("k814util.Run.", "k814util.archive."))]
)
def test_run_and_archive_methods_have_examples(name):
    assert problems(name, {"EX01"}) == []


@pytest.mark.parametrize("name", COMPILED)
def test_compiled_classes_say_what_they_are_for(name):
    cls = getattr(k814util, name)
    doc = inspect.getdoc(cls)
    assert not doc.startswith("Proxy of C++"), doc
    assert problems(f"k814util.{name}", {"GL08", "EX01", "SS03", "GL06", "GL07"}) == []


def test_the_scan_wrapper_keeps_its_parameter_names():
    signature = inspect.signature(k814util.ScienceDataCacheWrapper.__init__)
    assert list(signature.parameters) == ["self", "skip_zero_id_markers", "averageSummedScans"]
    assert [p.default for p in list(signature.parameters.values())[1:]] == [False, False]
    # The documented signature line stays the binding's.
    assert k814util.ScienceDataCacheWrapper.__init__.__doc__.startswith(
        "__init__(ScienceDataCacheWrapper self, bool skip_zero_id_markers=False, "
        "bool averageSummedScans=False) -> ScienceDataCacheWrapper"
    )


@pytest.mark.skipif(not DOCS.is_dir(), reason="no docs folder beside the tests")
def test_tutorials_are_percent_notebooks_with_a_title():
    jupytext = pytest.importorskip("jupytext")
    tutorials = sorted((DOCS / "tutorials").glob("*.py"))
    titles = {}
    for path in tutorials:
        notebook = jupytext.read(path, fmt="py:percent")
        first = notebook.cells[0]
        assert first.cell_type == "markdown" and first.source.startswith("# "), path.name
        titles[path.stem] = first.source.splitlines()[0][2:]
        assert any(c.cell_type == "code" for c in notebook.cells), path.name
    assert titles == {
        "archive-trends": "Housekeeping trends and limits across an archive",
        "following": "Following a test as it is recorded",
        "tarn-spectra": "A TARN run from file to spectra",
    }
    index = (DOCS / "tutorials" / "index.md").read_text()
    assert all(stem in index for stem in titles)
