"""The bundled sample archive: a reproducible TID directory tree with its workstation
configuration, for the examples, the tests and the benchmarks."""

from k814util.sample.archive import SampleArchive, TestRun, generate_archive
from k814util.sample.packets import ccsds_packet, tom_checksum, tom_packet

__all__ = [
    "SampleArchive",
    "TestRun",
    "ccsds_packet",
    "generate_archive",
    "tom_checksum",
    "tom_packet",
]
