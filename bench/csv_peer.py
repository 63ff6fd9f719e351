#!/usr/bin/env python3
"""Loading 1M books with lendrec against Python's csv.reader on the same file.

Runs the Load/books/1000000 benchmark of the given benchmark binary (which
leaves books-1000000.csv in its record directory), then times csv.reader
reading that file into a list of tuples, and prints both medians and their
ratio (Python's time over lendrec's; the target is at least 3).

    python3 bench/csv_peer.py build/bench/bench/lendrec_bench_pattern [-r 5]
"""
import argparse
import csv
import json
import os
import statistics
import subprocess
import sys
import time

TARGET = 3.0


def lendrec_load(binary, repetitions):
    """Median load time in seconds, and the record directory."""
    out = subprocess.run(
        [binary, "--benchmark_filter=^Load/books/1000000/",
         f"--benchmark_repetitions={repetitions}",
         "--benchmark_report_aggregates_only=true", "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    report = json.loads(out)
    median = next(b for b in report["benchmarks"] if b.get("aggregate_name") == "median")
    if median.get("error_occurred"):
        sys.exit(f"the benchmark failed: {median.get('error_message')}")
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[median["time_unit"]]
    return median["real_time"] * scale, report["context"]["record_dir"]


def csv_reader_load(path):
    """Seconds csv.reader takes to read the whole file into tuples."""
    start = time.perf_counter()
    with open(path, newline="", encoding="utf-8") as f:
        rows = [tuple(row) for row in csv.reader(f)]
    elapsed = time.perf_counter() - start
    if len(rows) != 1000001:
        sys.exit(f"{path}: {len(rows)} rows, expected 1000000 books and the trailer")
    return elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary", help="a lendrec_bench_* executable")
    parser.add_argument("-r", "--repetitions", type=int, default=5)
    args = parser.parse_args()

    ours, record_dir = lendrec_load(args.binary, args.repetitions)
    path = os.path.join(record_dir, "books-1000000.csv")
    peer = statistics.median(csv_reader_load(path) for _ in range(args.repetitions))
    ratio = peer / ours
    print(f"file:               {path}")
    print(f"lendrec load:       {ours * 1e3:9.1f} ms (median of {args.repetitions})")
    print(f"Python csv.reader:  {peer * 1e3:9.1f} ms (median of {args.repetitions})")
    print(f"ratio:              {ratio:9.2f}x faster (target >= {TARGET:g}x): "
          f"{'met' if ratio >= TARGET else 'MISSED'}")
    return 0 if ratio >= TARGET else 1


if __name__ == "__main__":
    sys.exit(main())
