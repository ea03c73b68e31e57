#!/usr/bin/env python3
"""Turns the benchmark's raw figures into the table: min / median / max and ratios."""
import statistics
import sys
from collections import defaultdict


def main():
    path, size_mb, files, large_mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    values = defaultdict(list)
    for line in open(path):
        parts = line.split()
        if len(parts) == 2:
            values[parts[0]].append(float(parts[1]))

    def triple(name, scale=1.0, unit=""):
        v = [x * scale for x in values[name]]
        if not v:
            return "n/a"
        return f"{min(v):.1f} / {statistics.median(v):.1f} / {max(v):.1f}{unit}"

    def ratio(a, b, adjust=None):
        pairs = list(zip(values[a], values[b]))
        if not pairs:
            return "n/a"
        r = [(x - (adjust(i) if adjust else 0)) / y for i, (x, y) in enumerate(pairs) if y > 0]
        return f"{min(r):.2f} / {statistics.median(r):.2f} / {max(r):.2f}"

    # No fixed pauses are left: a folder is tried again only when it stays.
    values["uninstall_rest_ms"] = list(values["uninstall_ms"])
    payload = size_mb * 1048576
    values["peak_above_payload"] = [p - b - payload for p, b in
                                    zip(values["peak_working_set"], values["peak_working_set_small"])]
    runs = len(values["install_ms"])
    rows = [
        ("setup stub size (bytes)", f"{int(values['stub_bytes'][0])}" if values["stub_bytes"] else "n/a"),
        ("uninstall.exe size (bytes)", f"{int(values['uninstaller_bytes'][0])}" if values["uninstaller_bytes"] else "n/a"),
        (f"pack.exe (Wine) {size_mb} MB / {files} files (ms)", triple("pack_ms")),
        (f"pack (native) {size_mb} MB / {files} files (ms)", triple("native_pack_ms")),
        ("cp of the same files (ms)", triple("cp_ms")),
        ("pack.exe / cp", ratio("pack_ms", "cp_ms")),
        ("pack / cp", ratio("native_pack_ms", "cp_ms")),
        ("pack and pack.exe wrote the same bytes (runs)",
         f"{int(sum(values['same_setup']))} of {len(values['same_setup'])}"),
        (f"peak resident set, pack.exe (Wine), {size_mb} MB (MiB)", triple("pack_rss_kib", 1 / 1024)),
        (f"peak resident set, pack (native), {size_mb} MB (MiB)",
         triple("native_pack_rss_kib", 1 / 1024)),
        (f"{large_mb} MB / 64 files: pack.exe, pack, cp (ms)",
         f"{triple('large_pack_ms')}; {triple('large_native_pack_ms')}; {triple('large_cp_ms')}"),
        (f"{large_mb} MB: pack / cp", ratio("large_native_pack_ms", "large_cp_ms")),
        (f"{large_mb} MB: peak resident set, pack.exe, pack (MiB)",
         f"{triple('large_pack_rss_kib', 1 / 1024)}; {triple('large_native_pack_rss_kib', 1 / 1024)}"),
        (f"start-up, {size_mb} MB product (ms)", triple("startup_big_ms")),
        ("start-up, 1 KB product (ms)", triple("startup_small_ms")),
        ("start-up ratio (big / small)", ratio("startup_big_ms", "startup_small_ms")),
        ("install, Install click to success box (ms)", triple("install_ms")),
        ("raw write of the same files from memory (ms)", triple("rawwrite_ms")),
        ("install / raw write", ratio("install_ms", "rawwrite_ms")),
        ("uninstall, Yes to Done (ms)", triple("uninstall_ms")),
        ("raw delete of the same files (ms)", triple("rawdelete_ms")),
        ("uninstall rest / raw delete", ratio("uninstall_rest_ms", "rawdelete_ms")),
        ("uninstall, 600 files in 300 folders (ms)", triple("uninstall_deep_ms")),
        ("uninstall, 600 files in 3 folders (ms)", triple("uninstall_flat_ms")),
        ("  300 folders / 3 folders", ratio("uninstall_deep_ms", "uninstall_flat_ms")),
        ("peak working set during install (MiB)", triple("peak_working_set", 1 / 1048576)),
        ("  the same for the 1 KB product: the process's baseline (MiB)",
         triple("peak_working_set_small", 1 / 1048576)),
        ("  above baseline + payload (MiB)", triple("peak_above_payload", 1 / 1048576)),
    ]
    width = max(len(r[0]) for r in rows)
    print(f"\nBenchmark: {runs} runs, figures as min / median / max\n")
    print(f"| {'what'.ljust(width)} | value |")
    print(f"|{'-' * (width + 2)}|-------|")
    for name, value in rows:
        print(f"| {name.ljust(width)} | {value} |")


if __name__ == "__main__":
    main()
