#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "audio/wave_out.hpp"

namespace belvox {

// The calls that feed an ALSA PCM, in ALSA's own terms (frames; a negative
// error number on failure), so that tests can give a feeder every outcome.
class Pcm {
 public:
  virtual ~Pcm() = default;

  // Opens the PCM for the format, in a buffer of about 200 ms; the buffer's frames.
  virtual long Open(const PcmFormat& format) = 0;
  // Whether a drain would lose the audio's last part: silence then follows the
  // audio until it has been heard (PipeWire's plugin drops what is left of the
  // graph's last quantum when that is longer than the period).
  virtual bool PlaysOutWithSilence() = 0;
  // Frames there is room for.
  virtual long Avail() = 0;
  virtual long Write(const std::byte* frames, std::size_t count) = 0;
  // Sets `frames` to those written that have yet to be heard, as the device
  // reports them; 0 or a negative error.
  virtual int Delay(long& frames) = 0;
  // The device ran dry: everything written has been heard.
  virtual bool Underrun() = 0;
  // Readies the stream to start anew after `error` (an underrun, a suspend).
  virtual int Recover(int error) = 0;
  // Blocks until everything written has been heard.
  virtual int Drain() = 0;
  // Silences and closes the PCM; false when it lost audio it had taken.
  virtual bool Close() = 0;
};

// ALSA's PCM: the one AUDIODEV names when it is set and not empty, as other
// audio tools read it; otherwise "default".
std::unique_ptr<Pcm> MakeAlsaPcm();

// Keeps ALSA's and libpulse's own reports off standard error, libcanberra's
// calls included (belvox says what went wrong instead), and counts ALSA's that
// carry a system error: a plugin that cannot write its output, into a file say,
// may report it and nothing else.
void QuietSoundLibraries();
unsigned AlsaSystemErrors();

// The name of the PulseAudio server at `server` (the client library's own choice
// when empty); empty when there is none. Blocks while the server does not answer.
std::string PulseServerName(const std::string& server);

}  // namespace belvox
