#!/usr/bin/env python3
"""Prints belvox's benchmark table: overhead against its peers through a real-time
sink, synthesis throughput, time to the first sample of a long sequence, and peak
memory. Run it after building the linux preset (scripts/test does both)."""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import wave
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from audio_sink import AudioSink  # noqa: E402

BELVOX = ROOT / "build" / "linux" / "belvox"
BENCHMARK = ROOT / "build" / "linux" / "tests" / "belvox_benchmark"
RUNS = int(os.environ.get("BELVOX_BENCH_RUNS", "7"))


def median_overhead(command, audio_seconds, env):
    """Median wall time minus the audio's own length, in milliseconds."""
    walls = []
    for _ in range(RUNS):
        start = time.monotonic()
        subprocess.run(command, env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        walls.append(time.monotonic() - start)
    return (statistics.median(walls) - audio_seconds) * 1000


def file_plugin_env(directory, target):
    config = Path(directory) / "config"
    (config / "alsa").mkdir(parents=True, exist_ok=True)
    (config / "alsa" / "asoundrc").write_text(
        f'pcm.!default {{ type file; slave.pcm "null"; file "{target}"; format "raw" }}\n')
    return {**os.environ, "XDG_CONFIG_HOME": str(config)}


def peak_memory_kib(args, env):
    completed = subprocess.run(["/usr/bin/time", "-f", "%M", str(BELVOX), *args], env=env, check=True,
                               capture_output=True, text=True)
    return int(completed.stderr.split()[-1])


def first_sample_seconds(args, directory):
    """From start until the first bytes come out of the device (ALSA's file plugin into a FIFO)."""
    fifo = Path(directory) / "first.fifo"
    os.mkfifo(fifo)
    env = file_plugin_env(directory, fifo)
    arrival = {}

    def read():
        with open(fifo, "rb") as pipe:
            pipe.read(2)
            arrival["at"] = time.monotonic()
            while pipe.read(1 << 20):
                pass

    reader = threading.Thread(target=read)
    reader.start()
    start = time.monotonic()
    subprocess.run([str(BELVOX), *args], env=env, check=True)
    reader.join()
    fifo.unlink()
    return arrival["at"] - start


def main():
    rows = []
    with tempfile.TemporaryDirectory() as directory:
        sink = AudioSink()
        try:
            env = {**os.environ, **sink.env}
            one_second = Path(directory) / "one.wav"
            subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", "-b", "16", str(one_second),
                            "synth", "1", "sine", "440"], check=True)
            melody = ["/n", "C4,8", "E4,8", "G4,8", "C5,4"]
            # belvox's own length: the audio, the 50 ms rest and the 100 ms pause.
            rows.append(("overhead: belvox /f 440,1000", median_overhead([str(BELVOX), "/f", "440,1000"], 1.15, env), "ms"))
            rows.append(("overhead: belvox " + " ".join(melody), median_overhead([str(BELVOX), *melody], 1.40, env), "ms"))
            rows.append(("overhead: belvox /w (1 s WAV)", median_overhead([str(BELVOX), "/w", str(one_second)], 1.0, env), "ms"))
            rows.append(("overhead: play -n synth 1 sine 440 (sox)",
                         median_overhead(["play", "-q", "-n", "synth", "1", "sine", "440"], 1.0, env), "ms"))
            rows.append(("overhead: aplay (1 s WAV)", median_overhead(["aplay", "-q", str(one_second)], 1.0, env), "ms"))
        finally:
            sink.stop()

        throughput = json.loads(subprocess.run([str(BENCHMARK), "--benchmark_format=json"], check=True,
                                               capture_output=True, text=True).stdout)
        for result in throughput["benchmarks"]:
            if result["name"].startswith("Synthesize"):
                rows.append((f"synthesis: {result['label']}", result["items_per_second"] / 1e6, "M samples/s"))
            else:
                rows.append(("render 190,210 ms of sine (one buffer)", result["real_time"], "ms"))

        largest = ["/fs"] + ["440,1000"] * 190 + ["440,160"]
        rows.append(("start to first sample, 190 s one-buffer sequence",
                     first_sample_seconds(largest, directory) * 1000, "ms"))

        null_env = file_plugin_env(directory, "/dev/null")
        hour = Path(directory) / "hour.txt"
        hour.write_text("440,1000\n" * 3600)
        million = Path(directory) / "million.txt"
        million.write_text("440,10\n" * 1_000_000)
        rows.append(("peak memory: 1 s tone", peak_memory_kib(["/f", "440,1000"], null_env) / 1024, "MiB"))
        rows.append(("peak memory: 190,210 ms (one buffer)", peak_memory_kib(largest, null_env) / 1024, "MiB"))
        rows.append(("peak memory: hour-long file (streamed)", peak_memory_kib(["/f", "/l", str(hour)], null_env) / 1024, "MiB"))
        rows.append(("peak memory: million-line file (streamed)",
                     peak_memory_kib(["/f", "/l", str(million)], null_env) / 1024, "MiB"))

    width = max(len(name) for name, _, _ in rows)
    print(f"{'measure':<{width}}  {'value':>10}  unit")
    for name, value, unit in rows:
        print(f"{name:<{width}}  {value:>10.1f}  {unit}")


if __name__ == "__main__":
    main()
