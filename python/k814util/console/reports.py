"""The test reports: info, summary, log, markers, sequences, and show (all four of them)."""

from __future__ import annotations

import argparse
import sys

from k814util.console.common import Failure, add_file_command, bound, utc


def _field(name: str, value) -> None:
    print(f"  {name:<14} {value if value not in ('', None) else '-'}")


def _print_info(info: dict) -> None:
    meta = info["meta"]
    print(f"Telemetry file {info['file']} ({int(info['size'])} bytes)")
    print(f"Test metadata from {meta['file']} (version {meta['version']})")
    for key in ("mission", "model", "tid", "tid_dir"):
        _field(key, meta[key])
    if meta["started"] is None:
        _field("started", "(directory name carries no date)")
    else:
        _field(
            "started",
            f"{meta['started']} ({meta['started_utc']}, Unix {int(meta['start_unix'])})",
        )
    _field("tmfile_name", meta["tmfile_name"])
    _field("patch_files", ", ".join(meta["patch_files"]))
    _field("default_mcal", meta["default_mcal"])
    _field("dac_table", meta["dac_table"])
    print(f"  annotations    {len(meta['annotations'])}")
    for a in meta["annotations"]:
        print(f"    #{a['key']} at {a['x']:g} s: {a['text']} [hkids {','.join(a['hkids']) or '-'}]")
    print(f"Configuration {info['config']}, group {info['group']}: verified")
    for p in info["paths"]:
        state = "" if not p["value"] else "(ok)" if p["exists"] else "(MISSING)"
        print(
            f"  {'*' if p['required'] else ' '} {p['key']:<15} {p['value'] or '-'} {state}".rstrip()
        )


def cmd_info(args: argparse.Namespace) -> int:
    import k814util

    try:
        info = k814util.describe_test(args.path, ini=args.ini)
    except k814util.BindingError as exc:
        raise Failure(str(exc), binding=True) from None
    _print_info(info)
    return 0


def cmd_summary(args: argparse.Namespace) -> int:
    cmd_info(args)
    s = bound(args).packet_summary()
    print(f"Packets: {s.packets}")
    if s.first_unix is None:
        # Without packets there is no time and no clock to speak of.
        print("  time span      none: the file has no packets")
        print("  T0             none: no packets, no clock")
        return 0
    print(
        f"  time span      {utc(s.first_unix)} .. {utc(s.last_unix)} "
        f"({s.last_unix - s.first_unix:.3f} s)"
    )
    clock = "synchronised" if s.synced else "not synchronised"
    print(f"  T0             Unix {s.t0_unix:.6f}, {s.t0_ticks} ticks; clock {clock}")
    print(f"  {'type':>6}  {'name':<24}  count")
    for t in s.types:
        print(f"  {t.type:>6}  {t.name or '(not in the catalogue)':<24}  {t.count}")
    return 0


def cmd_log(args: argparse.Namespace) -> int:
    import k814util

    bound(args)
    log = k814util.PyMsgLogCache()
    print(f"Message log: {len(log)} lines")
    for line in log:
        print(f"  {line.unixTime():17.6f}  {line.msg()}")
    return 0


def cmd_markers(args: argparse.Namespace) -> int:
    import k814util

    f = bound(args)
    if f.mission() == "tarn":
        markers = f.tarn_markers()
        print(f"Markers: {len(markers)}")
        for m in markers:
            print(f"  #{m.marker_index} id {m.marker_id} at {m.relative_time:.3f} s: {m.text}")
        metas = f.get_meta_markers()
        print(f"Meta-markers: {len(metas)}")
        for m in metas:
            print(
                f"  id {m.metaMarkerId} from {m.startRelativeTimeInSecs:.3f} s "
                f"to {m.endRelativeTimeInSecs:.3f} s: {m.msg}"
            )
        return 0
    markers = k814util.PyVireoMarkerCache()
    print(f"VIREO markers: {len(markers)}")
    for m in markers:
        end = f"{m.t_end_us() / 1e6:17.6f}" if m.is_complete() else f"{'(open)':>17}"
        span = f"{(m.t_end_us() - m.t_start_us()) / 1e6:8.3f} s" if m.is_complete() else ""
        print(
            f"  id {m.marker_id():<4} type {m.marker_type():<4} "
            f"{m.t_start_us() / 1e6:17.6f} -> {end} {span:>10}  {m.text()}"
        )
    return 0


def cmd_sequences(args: argparse.Namespace) -> int:
    f = bound(args)
    if f.mission() != "tarn":
        print("SEB sequences: none (only TARN tests carry them)")
        return 0
    sequences = f.seb_sequences()
    print(f"SEB sequences: {len(sequences)}")
    for s in sequences:
        unfinished = f", {s.unfinished} bytes unfinished" if s.unfinished else ""
        print(
            f"  at {s.relative_time:.3f} s, {len(s.commands)} commands, {s.byte_count} bytes "
            f"(packets {','.join(map(str, s.packets))}){unfinished}"
        )
        for c in s.commands:
            fields = " ".join(f"{x.name}={x.text}" for x in c.fields)
            print(f"    {c.number:>3} {c.name:<18} {fields}")
    return 0


def cmd_show(args: argparse.Namespace) -> int:
    for step in (cmd_summary, cmd_log, cmd_markers, cmd_sequences):
        sys.stdout.flush()
        step(args)
    return 0


def register(sub) -> None:
    add_file_command(sub, "info", cmd_info, "print a test's metadata and verify its configuration")
    add_file_command(
        sub, "summary", cmd_summary, "metadata, packets by type and name, time span, clock state"
    )
    add_file_command(sub, "log", cmd_log, "the instrument's message log")
    add_file_command(
        sub, "markers", cmd_markers, "test markers (VIREO intervals; TARN markers and meta-markers)"
    )
    add_file_command(
        sub, "sequences", cmd_sequences, "SEB command sequences with decoded fields (TARN)"
    )
    add_file_command(
        sub, "show", cmd_show, "summary, message log, markers (and TARN SEB sequences) of a test"
    )
