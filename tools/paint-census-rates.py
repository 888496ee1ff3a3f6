#!/usr/bin/env python3
"""Paints and painted pixels per second, per widget, between two snapshots of the application's paint
census (TESSARON_PAINT_CENSUS; see src/screens/paint_census.hpp).

    tools/paint-census-rates.py <before> <after> [widgets shown, default 12]
"""
import sys


def read(path):
    try:
        with open(path, encoding="utf-8") as census:
            lines = census.read().splitlines()
    except FileNotFoundError:
        return 0.0, {}
    if not lines:
        return 0.0, {}
    tallies = {}
    for line in lines[1:]:
        paints, pixels, widget = line.split("\t", 2)
        tallies[widget] = (int(paints), int(pixels))
    return float(lines[0]), tallies


def main():
    start, before = read(sys.argv[1])
    end, after = read(sys.argv[2])
    shown = int(sys.argv[3]) if len(sys.argv) > 3 else 12
    seconds = end - start
    if seconds <= 0:
        print("  paints: none in the window")
        return
    rates = []
    for widget, (paints, pixels) in after.items():
        was = before.get(widget, (0, 0))
        if paints > was[0]:
            rates.append(((paints - was[0]) / seconds, (pixels - was[1]) / seconds, widget))
    rates.sort(reverse=True)
    print(f"  paints {sum(r[0] for r in rates):8.1f}/s  pixels {sum(r[1] for r in rates):12.0f}/s"
          f"  over {seconds:.1f} s")
    for paints, pixels, widget in rates[:shown]:
        print(f"    {paints:8.1f}/s {pixels:12.0f} px/s  {widget}")


main()
