"""Private sound servers with a real-time 44.1 kHz mono null sink whose output is captured. A private
ALSA configuration routes ALSA's default device, for the Linux belvox and wine's ALSA driver, to the
sink; nothing of the user's or the system's configuration is touched."""

import array
import contextlib
import os
import shutil
import signal
import subprocess
import tempfile
import time
import wave
from pathlib import Path

RATE = 44100
ROOT = Path(__file__).resolve().parents[2]
# PipeWire's ALSA plugin, unpacked by scripts/setup: its package would remove PulseAudio.
PIPEWIRE_ALSA = ROOT / "build" / "pipewire-alsa" / "usr" / "lib" / "x86_64-linux-gnu" / "alsa-lib"


class Server:
    name = ""

    def __init__(self):
        self.directory = Path(tempfile.mkdtemp(prefix=f"belvox-{self.name}-"))
        runtime = self.directory / "run"
        runtime.mkdir(mode=0o700)
        self.env = {"XDG_RUNTIME_DIR": str(runtime), "XDG_CONFIG_HOME": str(self.directory / "config")}
        (self.directory / "config" / "alsa").mkdir(parents=True)
        (self.directory / "config" / "alsa" / "asoundrc").write_text(self.asoundrc())
        self.log = open(self.directory / "server.log", "wb")
        try:
            self.start()
        except BaseException:
            self.stop()  # a server that did not come up is not left behind
            raise

    def environ(self):
        return {**os.environ, **self.env}

    def wait_for(self, *command):
        """Runs the pactl command until it succeeds: the server, or a part of it, may still be starting."""
        deadline = time.monotonic() + 15
        while subprocess.run(["pactl", *command], env=self.environ(), capture_output=True).returncode != 0:
            if time.monotonic() > deadline:
                self.fail(f"{self.name} did not start")
            time.sleep(0.05)

    @contextlib.contextmanager
    def capture(self):
        """Records the sink while the body runs; yields a list that receives the samples."""
        samples = array.array("h")
        path = self.directory / self.capture_file
        path.unlink(missing_ok=True)
        recorder = subprocess.Popen(self.recorder(path), env=self.environ(), stdout=subprocess.DEVNULL, stderr=self.log)
        try:
            self.wait_for_recording(recorder, path)
            yield samples
            time.sleep(0.3)
        finally:
            recorder.send_signal(signal.SIGINT)
            try:
                recorder.wait(timeout=10)
            except subprocess.TimeoutExpired:  # parec has been seen to miss its SIGINT; it writes as it goes
                recorder.kill()
                recorder.wait(timeout=10)
        samples.extend(self.recorded(path))

    def wait_for_recording(self, recorder, path):
        """Returns once the sink's monitor flows into the file, and `settle` seconds after."""
        deadline = time.monotonic() + 15
        while not (path.exists() and path.stat().st_size > self.header_bytes):
            if recorder.poll() is not None or time.monotonic() > deadline:
                self.fail(f"the {self.name} recorder did not start")
            time.sleep(0.01)
        time.sleep(self.settle)

    def pids(self):
        """The server's processes: each server runs in a session of its own."""
        found = subprocess.run(["pgrep", "-s", str(self.session.pid)], capture_output=True, text=True).stdout
        return [int(pid) for pid in found.split()]

    def fail(self, what):
        raise RuntimeError(f"{what}; its log ends:\n" + (self.directory / "server.log").read_text(errors="replace")[-3000:])

    def stop(self):
        self.signal(signal.SIGCONT)
        with contextlib.suppress(ProcessLookupError):
            os.killpg(self.session.pid, signal.SIGTERM)
        try:
            self.session.wait(timeout=10)
        except subprocess.TimeoutExpired:  # a server left frozen or half-killed is not left behind
            os.killpg(self.session.pid, signal.SIGKILL)
            self.session.wait(timeout=10)
        self.log.close()
        shutil.rmtree(self.directory, ignore_errors=True)  # a server's last process may still be leaving

    def signal(self, number):
        """Signals each of the server's processes: SIGSTOP freezes it, as a hung server would be."""
        for pid in self.pids():
            os.kill(pid, number)


class PulseAudio(Server):
    """A real-time null sink tuned for exact captures, or (`deep`) the fallback sink that
    PulseAudio makes on a machine without a sound card, at its defaults: it renders
    seconds ahead, so a stream may wait that long before it plays."""

    name = "pulseaudio"
    capture_file = "capture.raw"
    header_bytes = 0
    settle = 0

    def __init__(self, deep=False):
        self.sink = "auto_null" if deep else "cap"
        super().__init__()

    def start(self):
        socket = self.directory / "pulse.sock"
        self.env["PULSE_SERVER"] = f"unix:{socket}"
        # norewinds keeps the idle sink from rendering seconds ahead; shared memory
        # is off because a wine client and a recorder together upset it.
        sink = ("--load=module-always-sink" if self.sink == "auto_null" else
                f"--load=module-null-sink sink_name=cap format=s16le rate={RATE} channels=1 norewinds=1")
        self.session = subprocess.Popen(
            ["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--disable-shm=yes", "--log-target=stderr",
             sink, f"--load=module-native-protocol-unix auth-anonymous=1 socket={socket}"],
            env=self.environ(), stdout=self.log, stderr=self.log, start_new_session=True)
        self.wait_for("info")

    @staticmethod
    def asoundrc():
        return "pcm.!default { type pulse }\nctl.!default { type pulse }\n"

    def recorder(self, path):
        return ["sh", "-c", f'exec parec -d {self.sink}.monitor --format=s16le --rate={RATE} --channels=1 --raw > "{path}"']

    @staticmethod
    def recorded(path):
        return array.array("h", path.read_bytes()[: path.stat().st_size // 2 * 2])


class PipeWire(Server):
    """A headless PipeWire with its session manager and PulseAudio service, on a private D-Bus session;
    its graph runs at 44.1 kHz so that captures are exact, in quanta of at least `min_quantum` frames."""

    name = "pipewire"
    capture_file = "capture.wav"
    header_bytes = 44
    # The graph gets a moment to take the recorder in before the program joins it.
    settle = 0.5
    # PipeWire's own floor on a virtual machine, which it cannot detect in a container: hosts stall their
    # guests for 6 ms and more now and then, and smaller quanta then lose periods of a recording.
    min_quantum = 1024

    def start(self):
        conf = self.directory / "config" / "pipewire" / "pipewire.conf.d"
        conf.mkdir(parents=True)
        (conf / "rate.conf").write_text(
            f"context.properties = {{ default.clock.rate = {RATE} default.clock.allowed-rates = [ {RATE} ] "
            f"default.clock.min-quantum = {self.min_quantum} }}\n")
        self.env["PULSE_SERVER"] = f"unix:{self.env['XDG_RUNTIME_DIR']}/pulse/native"
        environment = {k: v for k, v in self.environ().items() if k not in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
        self.session = subprocess.Popen(
            ["dbus-run-session", "--", "sh", "-c", "pipewire & sleep 0.5; wireplumber & pipewire-pulse & wait"],
            env=environment, stdout=self.log, stderr=self.log, start_new_session=True)
        self.wait_for("info")
        subprocess.run(["pactl", "load-module", "module-null-sink", "sink_name=cap", "format=s16le",
                        f"rate={RATE}", "channels=1"], env=self.environ(), check=True, stdout=subprocess.DEVNULL)
        # The session manager keeps the default sink, and may not be up yet ("Not supported").
        self.wait_for("set-default-sink", "cap")
        # A fresh graph's first stream waits for the session manager to link it: let that be
        # a stream of the harness's own, so that timings measure the program.
        subprocess.run(["aplay", "-q", "-t", "raw", "-f", "S16_LE", "-r", str(RATE), "-c", "1"],
                       input=bytes(RATE // 5), env=self.environ(), stderr=self.log, timeout=15)

    def asoundrc(self):
        # The pulseaudio package, installed here beside PipeWire, hooks ALSA's configuration so that
        # its plugin becomes the default whenever a PulseAudio server answers, as pipewire-pulse does.
        # A PipeWire desktop has no such hook (pipewire-alsa conflicts with pulseaudio): leave it out.
        system = self.directory / "alsa-conf.d"
        system.mkdir()
        for part in Path("/etc/alsa/conf.d").iterdir():
            if part.name != "99-pulse.conf":
                (system / part.name).symlink_to(part)
        top = Path("/usr/share/alsa/alsa.conf").read_text().replace('"/etc/alsa/conf.d"', f'"{system}"')
        (self.directory / "alsa.conf").write_text(top)
        self.env["ALSA_CONFIG_PATH"] = str(self.directory / "alsa.conf")
        return (f'pcm_type.pipewire {{ lib "{PIPEWIRE_ALSA}/libasound_module_pcm_pipewire.so" }}\n'
                f'ctl_type.pipewire {{ lib "{PIPEWIRE_ALSA}/libasound_module_ctl_pipewire.so" }}\n'
                'pcm.!default { type pipewire playback_node "-1" capture_node "-1" }\n'
                'ctl.!default { type pipewire }\n')

    def recorder(self, path):
        return ["pw-record", "--target", "cap", "--format", "s16", "--rate", str(RATE), "--channels", "1", str(path)]

    @staticmethod
    def recorded(path):
        with wave.open(str(path), "rb") as recording:
            return array.array("h", recording.readframes(recording.getnframes()))


SERVERS = {"pulseaudio": PulseAudio, "pipewire": PipeWire}


def file_device(folder, output="/dev/null"):
    """The environment in which ALSA's default device writes what it is given to `output`, as fast
    as it comes."""
    (Path(folder) / "alsa").mkdir(parents=True)
    (Path(folder) / "alsa" / "asoundrc").write_text(
        f'pcm.!default {{ type file; slave.pcm "null"; file "{output}"; format "raw" }}\n')
    return {"XDG_CONFIG_HOME": str(folder)}


def rendered(args, binary=ROOT / "build" / "linux" / "belvox", cwd=None):
    """What the Linux build plays for the arguments, into ALSA's file plugin."""
    with tempfile.TemporaryDirectory() as folder:
        environment = {k: v for k, v in os.environ.items() if not k.startswith(("PULSE_", "ALSA_", "AUDIODEV"))}
        subprocess.run([str(binary), *args], cwd=cwd, env={**environment, **file_device(folder, f"{folder}/out.raw")},
                       check=True, capture_output=True)
        return array.array("h", (Path(folder) / "out.raw").read_bytes())


def trim(samples):
    """The samples from the first non-zero one to the last."""
    first = next((i for i, s in enumerate(samples) if s), len(samples))
    last = max((i for i, s in enumerate(samples) if s), default=-1)
    return samples[first:last + 1]
