#!/usr/bin/env python3
"""Compares two results.tsv files of bench/real_clips.sh (natural step), job by job.

Usage: compare_real_clips.py BEFORE.tsv AFTER.tsv

A job is good when velto3gp ended with 0 and the script flagged nothing. Prints the jobs that
were good and are not any more, those that came out with other streams, a shorter duration or
a size off by more than 15 % (with both frame sizes, since a changed frame explains a changed
size), and those that are good now and were not. Exit status 1 when some job got worse.
"""
import csv
import sys

KIND, CLIP, PROFILE, RC, SECS, SOURCE_DUR, OUT_DUR, SIZE = range(8)
STREAMS, FRAME, FLAGS, MESSAGE = 10, 11, 13, 14


def load(path):
    jobs = {}
    with open(path, newline="") as table:
        for row in csv.reader(table, delimiter="\t"):
            if len(row) > MESSAGE and row[KIND] == "natural":
                jobs[(row[CLIP], row[PROFILE])] = row
    return jobs


def good(row):
    return row[RC] == "0" and not row[FLAGS]


def number(text):
    try:
        return float(text)
    except ValueError:
        return 0.0


def main(before_path, after_path):
    before, after = load(before_path), load(after_path)
    worse, changed, mended, same = [], [], [], 0
    for key in sorted(before):
        old, new = before[key], after.get(key)
        name = "%s p%s" % key
        if new is None:
            worse.append("%s: not run after" % name)
        elif good(old) and not good(new):
            worse.append("%s: now %s %s %s" % (name, new[RC], new[FLAGS], new[MESSAGE][:160]))
        elif good(new) and not good(old):
            mended.append("%s: was %s %s" % (name, old[RC], old[FLAGS]))
        elif good(old):
            same += 1
            if number(new[OUT_DUR]) < number(old[OUT_DUR]) - 0.2:
                worse.append("%s: shorter, %s s against %s s" % (name, new[OUT_DUR], old[OUT_DUR]))
            if new[STREAMS] != old[STREAMS]:
                changed.append("%s: streams %s, were %s" % (name, new[STREAMS], old[STREAMS]))
            ratio = number(new[SIZE]) / max(number(old[SIZE]), 1.0)
            if ratio > 1.15 or ratio < 0.87:
                changed.append("%s: size %.2fx (%s, was %s)" % (name, ratio, new[FRAME], old[FRAME]))
    print("%d jobs good before and after, %d mended, %d worse" % (same, len(mended), len(worse)))
    for title, lines in (("Worse", worse), ("Changed", changed), ("Mended", mended)):
        if lines:
            print("%s:" % title)
            for line in lines:
                print("  " + line)
    return 1 if worse else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
