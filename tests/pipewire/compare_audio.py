#!/usr/bin/env python3
"""Compares what reached a sink with a render of the same tune.

compare_audio.py CAPTURE.f32 RENDER.f32: both raw 32-bit float mono at
44,100 Hz (the capture resampled by sox). The sound in each runs from its
first to its last sample above 1% of the render's peak; the capture is
aligned on the render (first loud sample, then the best match a few samples
around it) and scaled by the gain that fits it best. Prints the durations
and the error left, and exits 1 when the durations differ by more than 3 ms
or the capture does not match the render.
"""
import array
import math
import sys

RATE = 44100


def load(path):
    samples = array.array('f')
    with open(path, 'rb') as f:
        samples.frombytes(f.read())
    return samples


def first_above(x, level):
    return next(i for i, v in enumerate(x) if abs(v) > level)


def last_above(x, level):
    return next(i for i in range(len(x) - 1, -1, -1) if abs(x[i]) > level)


def main():
    capture, render = load(sys.argv[1]), load(sys.argv[2])
    peak = max(abs(v) for v in render)
    level = 0.01 * peak
    r0, r1 = first_above(render, level), last_above(render, level)
    c0, c1 = first_above(capture, level), last_above(capture, level)
    render_ms, capture_ms = (r1 - r0) * 1000.0 / RATE, (c1 - c0) * 1000.0 / RATE

    # Alignment: the offset that matches best near the one the onsets give.
    span = range(r0, r1, 5)
    def score(offset):
        return sum(capture[i + offset] * render[i] for i in span if 0 <= i + offset < len(capture))
    offset = max(range(c0 - r0 - 8, c0 - r0 + 9), key=score)
    pairs = [(capture[i + offset] if 0 <= i + offset < len(capture) else 0.0, render[i]) for i in range(r0, r1 + 1)]
    gain = sum(c * r for c, r in pairs) / sum(r * r for _, r in pairs)
    def error(part):
        return math.sqrt(sum((c - gain * r) ** 2 for c, r in part) / sum((gain * r) ** 2 for _, r in part))
    whole, end = error(pairs), error(pairs[-RATE // 10:])
    print(f"render {render_ms:.2f} ms, sink {capture_ms:.2f} ms (difference {capture_ms - render_ms:+.2f} ms); "
          f"gain {gain:.3f}; error left {whole:.3f}, in the last 100 ms {end:.3f}")
    ok = abs(capture_ms - render_ms) <= 3.0 and whole < 0.3 and end < 0.3
    return 0 if ok else 1


if __name__ == '__main__':
    sys.exit(main())
