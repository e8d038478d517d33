"""What belvox must play, computed here from the stated formulas and tables alone:
44,100 Hz 16-bit mono, amplitude 3,276, four waveforms that start afresh at every
step, durations rounded to 10 ms, a closing 50 ms rest; speaker beeps as square
waves at whole hertz. Nothing here comes from belvox's own code."""

import math
from array import array

RATE = 44100
AMPLITUDE = 3276.0
TWO_PI = 6.283185307179586
LETTERS = {"s": "sine", "q": "square", "w": "sawtooth", "t": "triangle"}

PITCHES = {"C": 1, "C#": 2, "DB": 2, "D": 3, "D#": 4, "EB": 4, "E": 5, "F": 6, "F#": 7, "GB": 7, "G": 8, "G#": 9,
           "AB": 9, "A": 10, "A#": 11, "BB": 11, "B": 12}
BEATS = {"1": 4.0, "2.": 3.0, "2_": 2.666, "2": 2.0, "4.": 1.5, "4_": 1.334, "4": 1.0, "8.": 0.75, "8_": 0.666,
         "8": 0.5, "16.": 0.376, "16_": 0.332, "16": 0.25}


def int16(value):
    """Truncated toward zero to an integer, of which the low 16 bits are kept."""
    low = int(value) & 0xFFFF
    return low - 0x10000 if low >= 0x8000 else low


def tone(waveform, frequency, count):
    """`count` samples of one tone, from the start of its period."""
    omega = (frequency * TWO_PI) / RATE
    p = RATE / frequency
    period = int(p + 0.5)
    if waveform in ("sine", "square"):
        sines = [math.sin(i * omega) for i in range(count)]
        if waveform == "sine":
            return [int16(s * AMPLITUDE) for s in sines]
        return [3276 if s >= 0.0 else -3276 for s in sines]
    out = []
    step = 6552.0 / p if waveform == "sawtooth" else 2 * (6552.0 / p)
    q = p * 0.25
    q1, q2, q3 = int(q + 0.5), int(2 * q + 0.5), int(3 * q + 0.5)
    while len(out) < count:
        v = -3276.0 if waveform == "sawtooth" else 0.0
        for j in range(min(period, count - len(out))):
            out.append(int16(v))
            if waveform == "sawtooth" or j < q1:
                v += step
            elif j < q2:
                v = max(0.0, v - step)
            elif j < q3:
                v -= step
            else:
                v = min(0.0, v + step)
    return out


def frequency_time(pair):
    frequency, time = pair.split(",")
    return float(frequency), int(time)


def note_beat(pair):
    """A4 = 440 Hz, equal temperament; C1 is semitone 1; a beat of factor 1 lasts 500 ms."""
    note, beat = pair.upper().split(",")
    if note == "R":
        frequency = 0.0
    else:
        semitone = PITCHES[note[:-1]] + 12 * (int(note[-1]) - 1)
        frequency = 440.0 * 2.0 ** ((semitone - 46.0) / 12.0)
    return frequency, int(BEATS[beat] * 500.0)


def sequence(steps, waveform):
    """A synthesised sequence: every step rounded to 10 ms (441 samples), then 50 ms of silence."""
    out = array("h")
    for frequency, milliseconds in [*steps, (0.0, 50)]:
        count = (milliseconds + 5) // 10 * 441
        out.extend(tone(waveform, frequency, count) if frequency else [0] * count)
    return out


def beeps(steps):
    """Speaker beeps played as sound: square waves at the whole hertz below, exact lengths, no closing rest."""
    out = array("h")
    for frequency, milliseconds in steps:
        count = milliseconds * RATE // 1000
        out.extend(tone("square", float(int(frequency)), count) if frequency else [0] * count)
    return out


def expected(args):
    """The samples belvox plays for a valid tone switch and its pairs."""
    switch, pairs = args[0].lower(), args[1:]
    steps = [(frequency_time if switch[1] == "f" else note_beat)(pair) for pair in pairs]
    letter = switch[2:] or ("t" if switch[1] == "f" else "w")
    return beeps(steps) if letter == "b" else sequence(steps, LETTERS[letter])
