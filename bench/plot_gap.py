#!/usr/bin/env python3
"""Draws the captured wave around one gap that sound_gap_bench found.

    bench/plot_gap.py CAPTURE.gaps [GAP_NUMBER] OUT.png

CAPTURE.gaps is what `sound_gap_bench --dump-gaps` wrote (20 ms of samples
around each gap, the gap's own run of zeros included). The wave is drawn in
black, the gap's samples in red, on a 1000 x 300 picture (a PPM turned into
PNG by ImageMagick's convert, else left as .ppm).
"""
import os
import subprocess
import sys


def read_gaps(path):
    gaps, current = [], None
    with open(path) as f:
        for line in f:
            if line.startswith("# gap"):
                parts = line.split()
                current = {"start": int(parts[5]), "length": int(parts[7]), "samples": []}
                gaps.append(current)
            elif current is not None and line.strip():
                index, value = line.split()
                current["samples"].append((int(index), int(value)))
    return gaps


def draw(gap, out):
    width, height = 1000, 300
    pixels = [[(255, 255, 255)] * width for _ in range(height)]
    samples = gap["samples"]
    peak = max(1, max(abs(v) for _, v in samples))
    first = samples[0][0]
    span = max(1, samples[-1][0] - first)
    mid = height // 2
    for x in range(width):
        pixels[mid][x] = (200, 200, 200)
    previous = None
    for index, value in samples:
        x = min(width - 1, (index - first) * (width - 1) // span)
        y = min(height - 1, max(0, mid - value * (height // 2 - 5) // peak))
        inside = gap["start"] <= index < gap["start"] + gap["length"]
        colour = (220, 0, 0) if inside else (0, 0, 0)
        if previous is not None:
            px, py = previous
            for yy in range(min(py, y), max(py, y) + 1):
                pixels[yy][x] = colour
            for xx in range(min(px, x), max(px, x) + 1):
                pixels[y][xx] = colour
        previous = (x, y)
    ppm = out[:-4] + ".ppm" if out.endswith(".png") else out
    with open(ppm, "wb") as f:
        f.write(b"P6 %d %d 255\n" % (width, height))
        f.write(bytes(c for row in pixels for p in row for c in p))
    if out.endswith(".png"):
        try:
            subprocess.run(["convert", ppm, out], check=True)
            os.remove(ppm)
        except (OSError, subprocess.CalledProcessError):
            print("convert failed; the picture is in", ppm)
            return
    print("gap at sample %d, %d samples (%.2f ms) of silence, peak %d around it: %s"
          % (gap["start"], gap["length"], gap["length"] / 44.1, peak, out))


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    gaps = read_gaps(sys.argv[1])
    number = int(sys.argv[2]) if len(sys.argv) > 3 else 0
    if not gaps:
        print("no gaps in", sys.argv[1])
        return 1
    draw(gaps[min(number, len(gaps) - 1)], sys.argv[-1])
    return 0


if __name__ == "__main__":
    sys.exit(main())
