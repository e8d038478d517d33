#include "audio/sound_posix.hpp"

#include <unistd.h>

#include "audio/wave_out_posix.hpp"
#include "input/system_text.hpp"

namespace belvox {

PosixSound::PosixSound() : device_(MakeAlsaWaveOut()) {}
PosixSound::~PosixSound() = default;

WaveOut& PosixSound::WaveOutDevice() { return *device_; }

void PosixSound::PlayAlert(std::uint32_t) {}

bool PosixSound::Beep(std::uint32_t, std::uint32_t) { return true; }

bool PosixSound::Rest(std::uint32_t) { return true; }

bool PosixSound::WavExists(const std::u16string& path) {
  return ::access(EncodeSystemText(path).c_str(), F_OK) == 0;
}

WavPlayback PosixSound::PlayWavFile(const std::u16string&) { return WavPlayback::Played; }

}  // namespace belvox
