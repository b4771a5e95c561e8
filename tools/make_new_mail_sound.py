#!/usr/bin/env python3
"""Writes the built-in new-mail sound: a short two-note chime, 16-bit mono WAV.

Run once; the output is checked in as resources/sounds/new_mail.wav."""
import math
import struct
import sys
import wave

RATE = 22050


def note(freq, seconds, volume=0.5):
    n = int(RATE * seconds)
    out = []
    for i in range(n):
        t = i / RATE
        envelope = math.exp(-4.0 * t / seconds) * min(1.0, i / (RATE * 0.005))
        sample = volume * envelope * (math.sin(2 * math.pi * freq * t)
                                      + 0.3 * math.sin(4 * math.pi * freq * t))
        out.append(int(max(-1.0, min(1.0, sample)) * 32767))
    return out


def main(path):
    samples = note(880.0, 0.18) + note(1318.5, 0.35)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", s) for s in samples))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/sounds/new_mail.wav")
