"""Read access to the laboratory's instrument telemetry archives.

The compiled reader arrives as a private extension module; until then the package carries the
sample-archive generator (:mod:`k814util.sample`) and the console entry point ``k814util``.
"""

from k814util.sample import SampleArchive, generate_archive

__version__ = "0.1.0"

__all__ = ["SampleArchive", "generate_archive", "__version__"]
