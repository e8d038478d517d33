#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "audio/wave_out.hpp"

struct sf_private_tag;

namespace belvox {

// A RIFF WAVE file decoded by libsndfile (PCM, float, A-law, µ-law, ADPCM,
// WAVE_FORMAT_EXTENSIBLE; not MPEG) into interleaved 16-bit frames.
class WavDecoder {
 public:
  // nullptr when the file fails ReadWavHeader, holds MPEG audio, or is not one
  // that libsndfile decodes.
  static std::unique_ptr<WavDecoder> OpenFile(const std::filesystem::path& path);
  ~WavDecoder();
  WavDecoder(const WavDecoder&) = delete;
  WavDecoder& operator=(const WavDecoder&) = delete;

  PcmFormat Format() const { return format_; }
  // Replaces buffer with up to `frames` frames; false at the end of the data.
  bool Read(std::vector<std::int16_t>& buffer, std::int64_t frames);

 private:
  WavDecoder(sf_private_tag* file, const PcmFormat& format, bool floating);

  sf_private_tag* file_;  // libsndfile's SNDFILE
  PcmFormat format_;
  bool floating_;               // float or double samples
  std::vector<float> scratch_;  // a read's floating-point samples
};

}  // namespace belvox
