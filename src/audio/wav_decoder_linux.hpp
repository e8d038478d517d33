#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "audio/wave_out.hpp"

namespace belvox {

// A RIFF WAVE file decoded by libsndfile (PCM, float, A-law, µ-law, ADPCM,
// WAVE_FORMAT_EXTENSIBLE; not MPEG) into interleaved 16-bit frames.
class WavDecoder {
 public:
  // nullptr when the data is not a WAVE file libsndfile can decode, or has a
  // rate or channel count that no device takes.
  static std::unique_ptr<WavDecoder> OpenFile(const std::filesystem::path& path);
  // Decodes from memory; `bytes` must outlive the decoder.
  static std::unique_ptr<WavDecoder> OpenMemory(std::span<const unsigned char> bytes);
  ~WavDecoder();

  PcmFormat Format() const { return format_; }
  // Replaces buffer with up to `frames` frames; false at the end of the data.
  bool Read(std::vector<std::int16_t>& buffer, std::int64_t frames);

 private:
  struct Handle;
  explicit WavDecoder(std::unique_ptr<Handle> handle);
  static std::unique_ptr<WavDecoder> Accept(std::unique_ptr<Handle> handle);

  std::unique_ptr<Handle> handle_;
  PcmFormat format_;
};

}  // namespace belvox
