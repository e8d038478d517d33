#include "audio/wav_decoder_linux.hpp"

#include <sndfile.h>

#include <algorithm>
#include <cstring>

namespace belvox {
namespace {

// libsndfile's virtual I/O over a block of memory.
struct MemoryFile {
  std::span<const unsigned char> bytes;
  sf_count_t position = 0;

  static MemoryFile& Of(void* data) { return *static_cast<MemoryFile*>(data); }
  static sf_count_t Length(void* data) { return static_cast<sf_count_t>(Of(data).bytes.size()); }
  static sf_count_t Tell(void* data) { return Of(data).position; }
  static sf_count_t Seek(sf_count_t offset, int whence, void* data) {
    MemoryFile& file = Of(data);
    const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? file.position : Length(data);
    file.position = std::clamp<sf_count_t>(base + offset, 0, Length(data));
    return file.position;
  }
  static sf_count_t Read(void* out, sf_count_t count, void* data) {
    MemoryFile& file = Of(data);
    const sf_count_t n = std::clamp<sf_count_t>(count, 0, Length(data) - file.position);
    std::memcpy(out, file.bytes.data() + file.position, static_cast<std::size_t>(n));
    file.position += n;
    return n;
  }
  static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
};

// Whether a RIFF WAVE file's first format chunk names MPEG audio (tags 0x50 and
// 0x55). libsndfile decodes that with libmpg123, which reports damaged frames
// on standard error by itself; such files are refused instead.
// `read(offset, out, size)` reads bytes of the file and returns how many.
template <typename Read>
bool HoldsMpeg(Read read) {
  const auto little = [](const unsigned char* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
  };
  unsigned char chunk[10];
  if (read(0, chunk, 4) != 4 || std::memcmp(chunk, "RIFF", 4) != 0) return false;
  std::uint64_t offset = 12;
  for (int chunks = 0; chunks < 64 && read(offset, chunk, 10) == 10; ++chunks) {
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      const std::uint32_t tag = little(chunk + 8, 2);
      return tag == 0x50 || tag == 0x55;
    }
    offset += 8 + (little(chunk + 4, 4) + 1ull) / 2 * 2;
  }
  return false;
}

}  // namespace

struct WavDecoder::Handle {
  MemoryFile memory;
  SF_INFO info{};
  SNDFILE* file = nullptr;

  ~Handle() {
    if (file != nullptr) sf_close(file);
  }
};

WavDecoder::WavDecoder(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {
  format_ = {static_cast<std::uint32_t>(handle_->info.samplerate), static_cast<std::uint16_t>(handle_->info.channels),
             16};
}

WavDecoder::~WavDecoder() = default;

std::unique_ptr<WavDecoder> WavDecoder::Accept(std::unique_ptr<Handle> handle) {
  const SF_INFO& info = handle->info;
  const int container = info.format & SF_FORMAT_TYPEMASK;
  if (handle->file == nullptr || (container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX) || info.channels < 1 ||
      info.channels > 8 || info.samplerate < 1000 || info.samplerate > 768000) {
    return nullptr;
  }
  // Floating-point data is scaled to the full 16-bit range rather than clipped.
  sf_command(handle->file, SFC_SET_SCALE_FLOAT_INT_READ, nullptr, SF_TRUE);
  return std::unique_ptr<WavDecoder>(new WavDecoder(std::move(handle)));
}

std::unique_ptr<WavDecoder> WavDecoder::OpenFile(const std::filesystem::path& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return nullptr;
  const bool mpeg = HoldsMpeg([&](std::uint64_t offset, unsigned char* out, std::size_t size) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 ? std::fread(out, 1, size, file) : 0;
  });
  std::fclose(file);
  if (mpeg) return nullptr;
  auto handle = std::make_unique<Handle>();
  handle->file = sf_open(path.c_str(), SFM_READ, &handle->info);
  return Accept(std::move(handle));
}

std::unique_ptr<WavDecoder> WavDecoder::OpenMemory(std::span<const unsigned char> bytes) {
  static SF_VIRTUAL_IO io = {MemoryFile::Length, MemoryFile::Seek, MemoryFile::Read, MemoryFile::Write,
                             MemoryFile::Tell};
  const bool mpeg = HoldsMpeg([&](std::uint64_t offset, unsigned char* out, std::size_t size) {
    if (offset >= bytes.size()) return std::size_t{0};
    const std::size_t count = std::min<std::size_t>(size, bytes.size() - offset);
    std::memcpy(out, bytes.data() + offset, count);
    return count;
  });
  if (mpeg) return nullptr;
  auto handle = std::make_unique<Handle>();
  handle->memory.bytes = bytes;
  handle->file = sf_open_virtual(&io, SFM_READ, &handle->info, &handle->memory);
  return Accept(std::move(handle));
}

bool WavDecoder::Read(std::vector<std::int16_t>& buffer, std::int64_t frames) {
  const auto channels = static_cast<std::size_t>(format_.channels);
  buffer.resize(static_cast<std::size_t>(frames) * channels);
  const sf_count_t read = sf_readf_short(handle_->file, buffer.data(), frames);
  buffer.resize(static_cast<std::size_t>(std::max<sf_count_t>(read, 0)) * channels);
  return read > 0;
}

}  // namespace belvox
