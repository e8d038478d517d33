"""A private PulseAudio daemon with a real-time null sink whose monitor is captured.

ALSA's default device is routed to it through a private ALSA configuration, so
the Linux belvox and wine's ALSA driver both play into it.
"""

import array
import contextlib
import os
import signal
import subprocess
import tempfile
import time
from pathlib import Path

RATE = 44100
# A client can finish up to this long before its audio's own length has passed:
# the sink takes the first buffer ahead of real time.
HEAD_START = 0.05


class AudioSink:
    def __init__(self):
        self.directory = Path(tempfile.mkdtemp(prefix="belvox-sink-"))
        runtime = self.directory / "run"
        runtime.mkdir(mode=0o700)
        alsa = self.directory / "config" / "alsa"
        alsa.mkdir(parents=True)
        (alsa / "asoundrc").write_text("pcm.!default { type pulse }\nctl.!default { type pulse }\n")
        socket = self.directory / "pulse.sock"
        self.env = {
            "XDG_RUNTIME_DIR": str(runtime),
            "XDG_CONFIG_HOME": str(self.directory / "config"),
            "PULSE_SERVER": f"unix:{socket}",
        }
        self.log = open(self.directory / "pulse.log", "wb")
        # norewinds keeps the idle sink from rendering seconds ahead; shared memory
        # is off because a wine client and a recorder together upset it.
        self.daemon = subprocess.Popen(
            ["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--disable-shm=yes",
             "--log-target=stderr",
             f"--load=module-null-sink sink_name=cap format=s16le rate={RATE} channels=1 norewinds=1",
             f"--load=module-native-protocol-unix auth-anonymous=1 socket={socket}"],
            env={**os.environ, **self.env}, stdout=self.log, stderr=self.log)
        deadline = time.monotonic() + 10
        while subprocess.run(["pactl", "info"], env={**os.environ, **self.env},
                             capture_output=True).returncode != 0:
            if time.monotonic() > deadline or self.daemon.poll() is not None:
                raise RuntimeError(f"pulseaudio did not start; see {self.directory / 'pulse.log'}")
            time.sleep(0.05)

    @contextlib.contextmanager
    def capture(self):
        """Records the sink while the body runs; yields a list that receives the samples."""
        raw = self.directory / "capture.raw"
        samples = []
        with open(raw, "wb") as out:
            recorder = subprocess.Popen(
                ["parec", "-d", "cap.monitor", "--format=s16le", f"--rate={RATE}", "--channels=1", "--raw"],
                env={**os.environ, **self.env}, stdout=out)
            time.sleep(0.3)
            try:
                yield samples
                time.sleep(0.3)
            finally:
                recorder.send_signal(signal.SIGINT)
                recorder.wait(timeout=10)
        data = array.array("h")
        data.frombytes(raw.read_bytes()[: raw.stat().st_size // 2 * 2])
        samples.extend(data)

    def stop(self):
        self.daemon.terminate()
        self.daemon.wait(timeout=10)
        self.log.close()


def trim(samples):
    """The samples from the first non-zero one to the last, and how many came before."""
    first = next((i for i, s in enumerate(samples) if s), len(samples))
    last = max((i for i, s in enumerate(samples) if s), default=-1)
    return list(samples[first:last + 1]), first
