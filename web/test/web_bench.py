#!/usr/bin/env python3
"""Times window.kelviq.convert in headless Chromium on a picture (decode, trace, IPF), checks
its bytes against a plot the converter made, and prints the median of the runs in seconds.

    web_bench.py --site build-web/site --expected out.plt PICTURE
"""
import argparse
import os
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Page  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--site", required=True)
    parser.add_argument("--expected", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("picture")
    args = parser.parse_args()
    with open(args.picture, "rb") as f:
        data = f.read()
    with open(args.expected, "rb") as f:
        expected = f.read()
    page = Page(os.path.abspath(args.site))
    try:
        page.open()
        got, error, _, seconds = page.convert(data, {}, repeat=args.runs)
    finally:
        page.close()
    if got != expected:
        print("web bench: the page's plot differs from the converter's: " + error, file=sys.stderr)
        return 1
    print("%.3f" % statistics.median(seconds))
    return 0


if __name__ == "__main__":
    sys.exit(main())
