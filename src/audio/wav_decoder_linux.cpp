#include "audio/wav_decoder_linux.hpp"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

#include "audio/wav_header.hpp"

namespace belvox {

WavDecoder::WavDecoder(SNDFILE* file, const PcmFormat& format, bool floating)
    : file_(file), format_(format), floating_(floating) {}

WavDecoder::~WavDecoder() { sf_close(file_); }

// libsndfile judges the file, but for MPEG audio, refused before libsndfile sees
// it (its decoder, libmpg123, reports damaged frames on standard error by
// itself), and for what no sound device plays.
std::unique_ptr<WavDecoder> WavDecoder::OpenFile(const std::filesystem::path& path) {
  const auto header = ReadWavHeader(path);
  if (!header || header->Mpeg() || !header->Audible()) return nullptr;

  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return nullptr;
  const int container = info.format & SF_FORMAT_TYPEMASK;
  if ((container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX) || info.channels != header->channels ||
      info.samplerate != static_cast<int>(header->sampleRate)) {
    sf_close(file);
    return nullptr;
  }
  const int encoding = info.format & SF_FORMAT_SUBMASK;
  const PcmFormat format{header->sampleRate, header->channels};
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
