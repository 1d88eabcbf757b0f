"""Writes small seed corpora: for the telemetry fuzz target (first directory) valid TOM and
CCSDS streams, with and without station wrapper records; for the SEB fuzz target (second
directory, optional) the sample's command sequences as length-prefixed packet data fields."""

import struct
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))

from k814util.sample import seb  # noqa: E402
from k814util.sample.packets import ccsds_packet, tom_packet  # noqa: E402
from k814util.sample.streams import _wrapper  # noqa: E402

out = Path(sys.argv[1])
out.mkdir(parents=True, exist_ok=True)
tom = b"".join(
    tom_packet(t, i, 1000 * i, bytes(range(i, i + 10))) for i, t in enumerate([2, 3, 22])
)
(out / "tom").write_bytes(b"\x00" + tom)
ccsds = b"".join(
    ccsds_packet(700 + i % 3, i, struct.pack(">IH", i, 0) + bytes(20)) for i in range(4)
)
(out / "ccsds").write_bytes(b"\x01" + ccsds)
wrapped = _wrapper("GANN", 5, 6) + ccsds_packet(701, 0, bytes(30)) + _wrapper("FANN", 7, 8)
(out / "wrapped").write_bytes(b"\x01" + wrapped + ccsds_packet(702, 1, bytes(30)))

if len(sys.argv) > 2:
    seb_out = Path(sys.argv[2])
    seb_out.mkdir(parents=True, exist_ok=True)

    def chunks(*fields: bytes) -> bytes:
        return b"".join(bytes([len(f)]) + f for f in fields)

    setup = b"".join(seb.scan_setup())
    (seb_out / "one").write_bytes(chunks(seb.sequence_packet_data(setup, 0)))
    second = b"".join(seb.second_sequence())
    cut = 20
    (seb_out / "split").write_bytes(
        chunks(
            seb.sequence_packet_data(second[:cut], 0),
            seb.sequence_packet_data(second[cut:], cut),
        )
    )
    (seb_out / "file").write_bytes(seb.sequence_file(seb.scan_setup()))
