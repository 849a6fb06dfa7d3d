#include "app/audio/HeaderFrames.h"

#include <sndfile.h>

#include <cstring>
#include <fstream>

namespace {

constexpr int kMaxChunks = 1000;  // a header longer than this is not followed
constexpr uint32_t kUnknownSize = 0xFFFFFFFF;

class ChunkReader {
 public:
  ChunkReader(const std::string& path, bool bigEndian) : file_(path, std::ios::binary), bigEndian_(bigEndian) {}

  void SetBigEndian(bool bigEndian) { bigEndian_ = bigEndian; }

  bool Read(char* bytes, std::streamsize n) { return static_cast<bool>(file_.read(bytes, n)); }
  bool Skip(uint64_t n) {
    return static_cast<bool>(file_.seekg(static_cast<std::streamoff>(n), std::ios::cur)) && file_.peek() != EOF;
  }
  bool Id(char (&id)[4]) { return Read(id, 4); }
  std::optional<uint64_t> Number(int bytes) {
    unsigned char raw[8] = {};
    if (!Read(reinterpret_cast<char*>(raw), bytes)) return std::nullopt;
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(raw[bigEndian_ ? bytes - 1 - i : i]) << (8 * i);
    return value;
  }

 private:
  std::ifstream file_;
  bool bigEndian_;
};

bool Is(const char (&id)[4], const char* name) { return std::memcmp(id, name, 4) == 0; }

// Chunks follow the 12-byte RIFF header; the data chunk's size counts whole frames of the
// format chunk's block size. RF64 gives its sizes in the ds64 chunk instead.
std::optional<int64_t> WaveFrames(const std::string& path) {
  ChunkReader reader(path, false);
  char form[4], id[4];
  if (!reader.Id(form)) return std::nullopt;
  const bool rf64 = Is(form, "RF64") || Is(form, "BW64");
  if (!rf64 && !Is(form, "RIFF") && !Is(form, "RIFX")) return std::nullopt;
  reader.SetBigEndian(Is(form, "RIFX"));
  if (!reader.Number(4) || !reader.Id(id) || !Is(id, "WAVE")) return std::nullopt;
  uint64_t blockAlign = 0;
  std::optional<uint64_t> ds64DataSize;
  for (int chunk = 0; chunk < kMaxChunks; ++chunk) {
    const bool haveId = reader.Id(id);
    const auto size = reader.Number(4);
    if (!haveId || !size) return std::nullopt;
    if (Is(id, "data")) {
      const uint64_t bytes = rf64 && *size == kUnknownSize && ds64DataSize ? *ds64DataSize : *size;
      if (blockAlign == 0 || (!rf64 && *size == kUnknownSize)) return std::nullopt;
      return static_cast<int64_t>(bytes / blockAlign);
    }
    uint64_t read = 0;
    if (Is(id, "fmt ") && *size >= 14) {
      if (!reader.Skip(12)) return std::nullopt;
      const auto align = reader.Number(2);
      if (!align) return std::nullopt;
      blockAlign = *align;
      read = 14;
    } else if (Is(id, "ds64") && *size >= 16) {
      if (!reader.Skip(8)) return std::nullopt;
      ds64DataSize = reader.Number(8);
      read = 16;
    }
    if (!reader.Skip(*size - read + (*size & 1))) return std::nullopt;
  }
  return std::nullopt;
}

// The COMM chunk holds the frame count itself.
std::optional<int64_t> AiffFrames(const std::string& path) {
  ChunkReader reader(path, true);
  char id[4];
  if (!reader.Id(id) || !Is(id, "FORM") || !reader.Number(4) || !reader.Id(id) ||
      (!Is(id, "AIFF") && !Is(id, "AIFC")))
    return std::nullopt;
  for (int chunk = 0; chunk < kMaxChunks; ++chunk) {
    const bool haveId = reader.Id(id);
    const auto size = reader.Number(4);
    if (!haveId || !size) return std::nullopt;
    if (Is(id, "COMM")) {
      if (*size < 6 || !reader.Number(2)) return std::nullopt;
      const auto frames = reader.Number(4);
      return frames ? std::optional<int64_t>(static_cast<int64_t>(*frames)) : std::nullopt;
    }
    if (!reader.Skip(*size + (*size & 1))) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::optional<int64_t> HeaderFrames(const std::string& path, int sndfileFormat) {
  switch (sndfileFormat & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
      return WaveFrames(path);
    case SF_FORMAT_AIFF:
      return AiffFrames(path);
    default:
      return std::nullopt;
  }
}
