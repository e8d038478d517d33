"""The oracle against samples and lengths worked out by hand."""

import pytest

import oracle

SAMPLES = [
    ("sine", 440, {0: 0, 1: 205, 2: 409, 3: 612, 4: 812}),
    ("square", 440, {0: 3276, 50: 3276, 51: -3276, 100: -3276, 101: 3276}),
    ("sawtooth", 440, {0: -3276, 1: -3210, 2: -3145, 3: -3079, 4: -3014, 99: 3195, 100: -3276}),
    ("sawtooth", 1000, {42: 2963, 43: 3112, 44: -3276}),
    ("triangle", 440, {0: 0, 1: 130, 2: 261, 3: 392, 25: 3268, 50: 0, 75: -3268, 99: -130, 100: 0}),
    ("triangle", 1000, {11: 3268, 22: 0, 33: -3268, 44: 0}),
    ("triangle", 20000, {0: 0, 1: 5942, 2: 0, 3: 5942}),
    ("triangle", 20, {551: 3274, 1102: 0, 1654: -3274, 2205: 0}),  # quarters of 2,205 samples
]


@pytest.mark.parametrize("waveform,frequency,samples", SAMPLES)
def test_tones(waveform, frequency, samples):
    produced = oracle.tone(waveform, frequency, 2300)
    assert {i: produced[i] for i in samples} == samples


@pytest.mark.parametrize("pair,frequency,milliseconds", [
    ("A4,4", 440.0, 500), ("c4,4", 261.6256, 500), ("Db4,8", 277.1826, 250), ("C#4,8", 277.1826, 250),
    ("C1,1", 32.7032, 2000), ("B7,16", 3951.0664, 125), ("R,16.", 0.0, 188), ("A4,16_", 440.0, 166),
    ("A4,2_", 440.0, 1333), ("A4,4_", 440.0, 667), ("A4,8_", 440.0, 333), ("Bb3,2.", 233.0819, 1500)])
def test_notes(pair, frequency, milliseconds):
    assert oracle.note_beat(pair) == (pytest.approx(frequency, abs=1e-4), milliseconds)


def test_lengths_round_to_ten_milliseconds_and_end_in_50_ms_of_silence():
    lengths = {ms: len(oracle.sequence([(440.0, ms)], "sine")) - 2205 for ms in (14, 15, 125, 188, 350, 1333)}
    assert lengths == {14: 441, 15: 882, 125: 5733, 188: 8379, 350: 15435, 1333: 58653}
    assert oracle.sequence([(440.0, 10)], "square").tolist()[441:] == [0] * 2205
    assert oracle.beeps([(440.9, 125), (0.0, 10)]).tolist() == oracle.tone("square", 440.0, 5512) + [0] * 441
