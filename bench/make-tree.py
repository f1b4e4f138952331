#!/usr/bin/env python3
"""Makes a reproducible tree of files for the copy benchmarks.

  make-tree.py ROOT --files N --folders F --total-bytes B [--large SIZE ...] [--max-file-bytes M]

N files (the --large ones among them) spread over F folders up to three levels deep, with
sizes mixed on a log scale so that all files together hold about B bytes.
"""
import argparse
import math
import os
import random


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--files", type=int, required=True)
    parser.add_argument("--folders", type=int, required=True)
    parser.add_argument("--total-bytes", type=int, required=True)
    parser.add_argument("--large", type=int, action="append", default=[], help="size of one large file")
    parser.add_argument("--max-file-bytes", type=int, default=2 * 1024 * 1024)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    folders = [""]
    while len(folders) < args.folders:
        parent = rng.choice([f for f in folders if f.count("/") < 2])
        folders.append(os.path.join(parent, "dir%05d" % len(folders)))
    for folder in folders:
        os.makedirs(os.path.join(args.root, folder), exist_ok=True)

    small = args.files - len(args.large)
    budget = max(args.total_bytes - sum(args.large), small)
    weights = [math.exp(rng.uniform(math.log(64), math.log(args.max_file_bytes))) for _ in range(small)]
    scale = budget / sum(weights)
    sizes = [min(args.max_file_bytes, max(0, int(w * scale))) for w in weights] + args.large
    rng.shuffle(sizes)

    block = os.urandom(4 * 1024 * 1024)
    for index, size in enumerate(sizes):
        folder = folders[index % len(folders)]
        path = os.path.join(args.root, folder, "file%06d.dat" % index)
        with open(path, "wb") as out:
            offset = rng.randrange(len(block))
            left = size
            while left > 0:
                piece = block[offset:offset + left] or block[:left]
                out.write(piece)
                left -= len(piece)
                offset = 0
    print("%d files, %d folders, %d bytes" % (len(sizes), len(folders), sum(sizes)))


if __name__ == "__main__":
    main()
