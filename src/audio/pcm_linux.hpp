#pragma once

#include <chrono>
#include <cstddef>
#include <memory>

#include "audio/wave_out.hpp"

namespace belvox {

// The calls that feed an ALSA PCM, in ALSA's own terms (frames; a negative
// error number on failure), so that tests can give a feeder every outcome.
class Pcm {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~Pcm() = default;

  // Opens the PCM for the format, in a buffer of about 200 ms; the buffer's frames.
  virtual long Open(const PcmFormat& format) = 0;
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
  // Blocks until everything written has been heard, then readies the stream.
  virtual int Drain() = 0;
  // Waits until Wake is called or `timeout` passes.
  virtual void Wait(std::chrono::milliseconds timeout) = 0;
  // Ends a Wait early; any thread may call it.
  virtual void Wake() = 0;
  // Silences and closes the PCM; false when it lost audio it had taken.
  virtual bool Close() = 0;
  // The time the device plays by.
  virtual TimePoint Now() = 0;
};

// ALSA's PCM that PlaybackPcmName() names.
std::unique_ptr<Pcm> MakeAlsaPcm();

// Keeps ALSA's own reports off standard error, libcanberra's ALSA calls included
// (belvox says what went wrong instead), and counts those that carry a system
// error: a plugin that cannot write its output, into a file say, may report it
// and nothing else.
void QuietAlsaReports();
unsigned AlsaSystemErrors();

}  // namespace belvox
