#!/usr/bin/env python3
"""Writes a deterministic synthetic product and its pack.exe manifest.

The content is incompressible (seeded pseudo-random bytes), spread over FILES files in
FOLDERS folders, SIZE_MB megabytes in all. Running it twice with the same arguments gives the
same bytes.
"""
import argparse
import os
import random


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--size-bytes", type=int, default=200 * 1024 * 1024)
    parser.add_argument("--files", type=int, default=2000)
    parser.add_argument("--folders", type=int, default=20)
    parser.add_argument("--name", default="Bench")
    parser.add_argument("--uninstaller", default="")
    args = parser.parse_args()

    files_dir = os.path.join(args.out, "files")
    os.makedirs(files_dir, exist_ok=True)
    per_file = args.size_bytes // args.files
    lines = ["[product]", f"name = {args.name}", "version = 1.0", "window_class = BenchWnd", "",
             "[options]", "allow_run_once = 0", "", "[files]"]
    generator = random.Random(args.name)
    for index in range(args.files):
        folder = f"data{index % args.folders:02d}"
        name = f"file{index:05d}.bin"
        size = per_file if index < args.files - 1 else args.size_bytes - per_file * (args.files - 1)
        os.makedirs(os.path.join(files_dir, folder), exist_ok=True)
        source = os.path.join("files", folder, name)
        with open(os.path.join(args.out, source), "wb") as f:
            f.write(generator.randbytes(size))
        lines.append(f"{folder}\\{name} = {source.replace(os.sep, '/')}")
    with open(os.path.join(args.out, "product.ini"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
