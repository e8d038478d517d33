#include "audio/wav_decoder_linux.hpp"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace belvox {
namespace {

// Whether a RIFF WAVE file's first format chunk names MPEG audio (tags 0x50 and
// 0x55). libsndfile decodes that with libmpg123, which reports damaged frames
// on standard error by itself; such files are refused instead.
bool HoldsMpeg(std::FILE* file) {
  const auto little = [](const unsigned char* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
  };
  unsigned char chunk[10];
  if (std::fread(chunk, 1, 4, file) != 4 || std::memcmp(chunk, "RIFF", 4) != 0) return false;
  // The format chunk comes first, or nearly: a few chunks are looked at, not a file's worth.
  for (std::int64_t offset = 12, chunks = 0; chunks < 64; ++chunks) {
    if (fseeko(file, offset, SEEK_SET) != 0 || std::fread(chunk, 1, 10, file) != 10) return false;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      const std::uint32_t tag = little(chunk + 8, 2);
      return tag == 0x50 || tag == 0x55;
    }
    offset += 8 + (little(chunk + 4, 4) + 1ll) / 2 * 2;  // chunks are padded to an even size
  }
  return false;
}

}  // namespace

WavDecoder::WavDecoder(SNDFILE* file, const PcmFormat& format, bool floating)
    : file_(file), format_(format), floating_(floating) {}

WavDecoder::~WavDecoder() { sf_close(file_); }

std::unique_ptr<WavDecoder> WavDecoder::OpenFile(const std::filesystem::path& path) {
  std::FILE* raw = std::fopen(path.c_str(), "rb");
  if (raw == nullptr) return nullptr;
  const bool mpeg = HoldsMpeg(raw);
  std::fclose(raw);
  if (mpeg) return nullptr;

  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return nullptr;
  const int container = info.format & SF_FORMAT_TYPEMASK;
  if ((container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX) || info.channels > 8 || info.samplerate < 1000 ||
      info.samplerate > 768000) {
    sf_close(file);
    return nullptr;
  }
  const int encoding = info.format & SF_FORMAT_SUBMASK;
  const PcmFormat format{static_cast<std::uint32_t>(info.samplerate), static_cast<std::uint16_t>(info.channels)};
  return std::unique_ptr<WavDecoder>(
      new WavDecoder(file, format, encoding == SF_FORMAT_FLOAT || encoding == SF_FORMAT_DOUBLE));
}

bool WavDecoder::Read(std::vector<std::int16_t>& buffer, std::int64_t frames) {
  const auto channels = static_cast<std::size_t>(format_.channels);
  const auto count = static_cast<std::size_t>(frames) * channels;
  buffer.resize(count);
  sf_count_t read = 0;
  if (floating_) {
    // libsndfile would scale floating-point data to its own peak, so a quiet file
    // would play at full scale: 1.0 is 32767, and louder samples are clipped.
    scratch_.resize(count);
    read = sf_readf_float(file_, scratch_.data(), frames);
    std::transform(scratch_.begin(), scratch_.end(), buffer.begin(), [](float x) {
      return static_cast<std::int16_t>(x == x ? std::lrint(std::clamp(x * 32767.0f, -32768.0f, 32767.0f)) : 0);
    });
  } else {
    read = sf_readf_short(file_, buffer.data(), frames);
  }
  buffer.resize(static_cast<std::size_t>(std::max<sf_count_t>(read, 0)) * channels);
  return read > 0;
}

}  // namespace belvox
