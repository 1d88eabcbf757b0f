"""Builds the documentation site and runs the examples of its docstrings.

    python docs/build.py OUTDIR

writes the site to OUTDIR/html (every warning an error, every tutorial executed: a failing cell
fails the build), then runs the docstrings' examples (Sphinx's doctest builder, on the same
doctrees) against the sample archive that the build writes to OUTDIR/sample. The package must
be importable as it will be documented: the build tree's ``python`` folder on PYTHONPATH, or
the installed package.

Exit status 0 when both pass, 1 when either fails, 77 when the documentation toolchain (the
``docs`` extra) is not installed: the site cannot be built here, which is not a failure of it.
"""

from __future__ import annotations

import argparse
import importlib.util
import os
import subprocess
import sys
from pathlib import Path

#: What the build needs beyond the package: the ``docs`` extra, and what the tutorials import.
TOOLCHAIN = (
    "sphinx",
    "pydata_sphinx_theme",
    "numpydoc",
    "myst_nb",
    "jupytext",
    "ipykernel",
    "matplotlib",
    "pandas",
)
SKIPPED = 77


def main(argv: list[str] | None = None) -> int:
    args = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    args.add_argument("out", type=Path, help="folder for html/, doctest/ and the sample archive")
    args.add_argument("--no-doctest", action="store_true", help="build the site only")
    options = args.parse_args(argv)

    missing = [name for name in TOOLCHAIN if importlib.util.find_spec(name) is None]
    if missing:
        print(
            f"docs: skipped: {', '.join(missing)} not installed (pip install '.[docs]')",
            file=sys.stderr,
        )
        return SKIPPED
    try:
        import k814util.k814util  # noqa: F401
    except ImportError as error:
        print(f"docs: the compiled module does not import: {error}", file=sys.stderr)
        return 1

    source = Path(__file__).resolve().parent
    out = options.out.resolve()
    env = dict(os.environ, K814_DOCS_SAMPLE=str(out / "sample"), PYDEVD_DISABLE_FILE_VALIDATION="1")
    # The notebooks' kernels draw inline (ipykernel's own backend) only when nothing else is set.
    env.pop("MPLBACKEND", None)
    doctrees = out / "doctrees"
    builds = [("html", out / "html")]
    if not options.no_doctest:
        builds.append(("doctest", out / "doctest"))
    for builder, target in builds:
        command = [sys.executable, "-m", "sphinx", "-W", "--keep-going", "-q", "-b", builder]
        if builder == "html":
            # Read everything again: Sphinx does not see a docstring change, and the tutorials
            # must run against the package as it is now.
            command.append("-E")
        command += ["-d", str(doctrees), str(source), str(target)]
        print(f"docs: {builder} -> {target}", flush=True)
        if subprocess.run(command, env=env).returncode != 0:
            print(f"docs: the {builder} build failed", file=sys.stderr)
            return 1
    print(f"docs: the site is {out / 'html' / 'index.html'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
