#!/usr/bin/env python3
"""Prints belvox's benchmark table: overhead against its peers through a real-time
sink, processor time and wake-ups while playing, synthesis throughput, time to the
first sample of a long sequence, and peak memory. Run it after building the linux
preset (scripts/test does both)."""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from servers import PipeWire, PulseAudio, rendered, trim  # noqa: E402


class DesktopPipeWire(PipeWire):
    """PipeWire at its shipped smallest quantum, as on a desktop (the tests take a virtual machine's)."""

    min_quantum = 16


SERVERS = {"pulseaudio": PulseAudio, "pipewire": DesktopPipeWire}


class PipeWireViaPulse(DesktopPipeWire):
    """PipeWire reached by way of pipewire-pulse and PulseAudio's ALSA plugin."""

    def asoundrc(self):
        return PulseAudio.asoundrc()


BELVOX = ROOT / "build" / "linux" / "belvox"
# Another build of belvox (BELVOX_BENCH_OLD=path), measured beside this one in the same run.
OLD = os.environ.get("BELVOX_BENCH_OLD")
BENCHMARK = ROOT / "build" / "linux" / "tests" / "belvox_benchmark"
RUNS = int(os.environ.get("BELVOX_BENCH_RUNS", "9"))


def builds():
    """(label, binary) of each belvox to measure."""
    return [("belvox ", str(BELVOX))] + ([("old belvox ", OLD)] if OLD else [])


def median_overhead(command, audio_seconds, env, before):
    """Median wall time minus the audio's own length, in milliseconds; None when a run does not end.
    `before` runs ahead of each run: an idle pause, or another client's play and then the pause."""
    walls = []
    for _ in range(RUNS):
        before()
        start = time.monotonic()
        process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # A wait with a timeout polls at up to 50 ms steps: a timer bounds a plain wait instead.
        watchdog = threading.Timer(audio_seconds + 10, process.kill)
        watchdog.start()
        process.wait()
        walls.append(time.monotonic() - start)
        watchdog.cancel()
        if process.returncode != 0:
            return None
    return (statistics.median(walls) - audio_seconds) * 1000


def overheads(directory):
    """Each player through each server, idle and busy (another client streams silence throughout)."""
    one_second = Path(directory) / "one.wav"
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", "-b", "16", str(one_second), "synth", "1", "sine", "440"],
                   check=True)
    # The audio's own length; for belvox's tone sequences with the 50 ms rest and the 100 ms pause.
    players = [(f"{label}{name}", [binary, *args], audio) for label, binary in builds()
               for name, args, audio in [("/f 440,1000", ["/f", "440,1000"], 1.15),
                                         ("/n C4,8 E4,8 G4,8 C5,4", ["/n", "C4,8", "E4,8", "G4,8", "C5,4"], 1.40),
                                         ("/w (1 s WAV)", ["/w", str(one_second)], 1.0)]] + [
        ("sox play -n synth 1 sine 440", ["play", "-q", "-n", "synth", "1", "sine", "440"], 1.0),
        ("aplay (1 s WAV)", ["aplay", "-q", str(one_second)], 1.0),
        ("paplay (1 s WAV)", ["paplay", str(one_second)], 1.0),
        ("pw-play (1 s WAV)", ["pw-play", str(one_second)], 1.0),
        ("pw-play --latency 20ms (1 s WAV)", ["pw-play", "--latency", "20ms", str(one_second)], 1.0),
    ]
    short = Path(directory) / "short.wav"
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", "-b", "16", str(short), "synth", "0.3", "sine", "880"],
                   check=True)
    columns = {}
    # PipeWire also through PulseAudio's plugin and pipewire-pulse, where the pulseaudio package stays installed.
    routes = {**SERVERS, "pipewire via pulse": PipeWireViaPulse}
    for name, server_class in routes.items():
        server = server_class()
        try:
            env = server.environ()
            plays = [command[0] != "pw-play" or name.startswith("pipewire") for _, command, _ in players]

            def idle():
                time.sleep(1.2)

            def after_another_client():
                subprocess.run(["paplay", str(short)], env=env, check=True)
                time.sleep(1.2)

            for column, before in (("idle", idle), ("after another", after_another_client)):
                columns[f"{name} {column}"] = [median_overhead(command, audio, env, before) if plays[row] else "n/a"
                                               for row, (_, command, audio) in enumerate(players)]
            if name not in SERVERS:
                continue
            silence = subprocess.Popen(["pacat", "--format=s16le", "--rate=44100", "--channels=1", "/dev/zero"],
                                       env=env)
            time.sleep(0.5)
            columns[f"{name} busy"] = [median_overhead(command, audio, env, lambda: None) if plays[row] else "n/a"
                                       for row, (_, command, audio) in enumerate(players)]
            silence.terminate()
            silence.wait()
        finally:
            server.stop()
    print("overhead beyond the timeline, ms (median of %d runs)" % RUNS)
    print(f"{'player':<34}" + "".join(f"{column:>26}" for column in columns))
    for row, (name, _, _) in enumerate(players):
        cells = [columns[column][row] for column in columns]
        print(f"{name:<34}" + "".join(
            f"{'no end' if c is None else c if isinstance(c, str) else f'{c:.1f}':>26}" for c in cells))
    print()


def while_playing(directory):
    """Processor time and voluntary context switches of the whole process (its own threads and those of
    the server's ALSA plugin) for 10 s of audio, median of 3 runs, against aplay on the same route at its
    own defaults and at belvox's buffer and period."""
    ten = Path(directory) / "ten.wav"
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", "-b", "16", str(ten), "synth", "10", "sine", "440"],
                   check=True)
    tones = Path(directory) / "ten.txt"
    tones.write_text("440,1000\n" * 10)
    players = [(f"{label}{name}", [binary, *args]) for label, binary in builds()
               for name, args in [("/f /l (ten 1 s tones)", ["/f", "/l", str(tones)]), ("/w (10 s WAV)", ["/w", str(ten)])]] + [
        ("aplay (10 s WAV)", ["aplay", "-q", str(ten)]),
        ("aplay 200 ms buffer, 10 ms periods", ["aplay", "-q", "--buffer-time=200000", "--period-time=10000", str(ten)]),
    ]
    print("while 10 s of audio plays: processor time, s / voluntary context switches (median of 3 runs)")
    print(f"{'player':<36}" + "".join(f"{name:>22}" for name in SERVERS))
    cells = {row: [] for row, _ in players}
    for server_class in SERVERS.values():
        server = server_class()
        try:
            for row, command in players:
                runs = []
                for _ in range(3):
                    time.sleep(0.5)
                    process = subprocess.Popen(command, env=server.environ(), stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL)
                    usage = os.wait4(process.pid, 0)[2]
                    runs.append((usage.ru_utime + usage.ru_stime, usage.ru_nvcsw))
                cells[row].append(f"{statistics.median(r[0] for r in runs):.3f} / {statistics.median(r[1] for r in runs):.0f}")
        finally:
            server.stop()
    for row, values in cells.items():
        print(f"{row:<36}" + "".join(f"{value:>22}" for value in values))
    print()


def under_a_busy_core(directory):
    """10 s of 10 ms steps through each server while another process keeps a core busy:
    whether the sink's capture is the exact sequence, with no gap an underrun would leave."""
    steps = [f"{440 + i % 7 * 110},10" for i in range(1000)]
    listing = Path(directory) / "steps.txt"
    listing.write_text("\n".join(steps))
    expected = trim(rendered(["/fq", "/l", str(listing)]))
    busy = subprocess.Popen(["sh", "-c", "while :; do :; done"])
    try:
        for name, server_class in SERVERS.items():
            server = server_class()
            try:
                with server.capture() as captured:
                    subprocess.run([str(BELVOX), "/fq", "/l", str(listing)], env=server.environ(), check=True)
            finally:
                server.stop()
            heard = trim(captured)
            verdict = "exact" if heard == expected else f"differs: {len(heard)} samples of {len(expected)}"
            print(f"{name}, one core busy, 10 s of 10 ms steps: {verdict}")
    finally:
        busy.kill()
        busy.wait()
    print()


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
        overheads(directory)
        while_playing(directory)
        under_a_busy_core(directory)

        # Five repetitions of each: their median and their range.
        throughput = json.loads(subprocess.run([str(BENCHMARK), "--benchmark_format=json",
                                                "--benchmark_repetitions=5"], check=True,
                                               capture_output=True, text=True).stdout)
        runs = {}
        for result in throughput["benchmarks"]:
            if result["run_type"] != "iteration":
                continue
            if result["name"].startswith("Synthesize"):
                key = (f"synthesis: {result['label']}", "M samples/s")
                runs.setdefault(key, []).append(result["items_per_second"] / 1e6)
            else:
                runs.setdefault(("render 190,210 ms of sine (one buffer)", "ms"), []).append(result["real_time"])
        rows += [(name, values, unit) for (name, unit), values in runs.items()]

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
    print(f"{'measure':<{width}}  {'value':>20}  unit")
    for name, value, unit in rows:
        shown = (f"{statistics.median(value):.1f} ({min(value):.1f}-{max(value):.1f})" if isinstance(value, list)
                 else f"{value:.1f}")
        print(f"{name:<{width}}  {shown:>20}  {unit}")


if __name__ == "__main__":
    main()
