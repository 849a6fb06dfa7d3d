// A file cut short reads as far as it goes, and its header still says how long it was, though
// libsndfile trims its own count to the data there is.
#ifdef ZARN_HAVE_APP

#include <sndfile.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "app/audio/AudioFile.h"
#include "support/ScratchDirectory.h"

namespace {

constexpr int64_t kFrames = 48000;

AudioBuffer Ramp(int format) {
  AudioBuffer audio{48000.0, {std::vector<double>(kFrames), std::vector<double>(kFrames)}, format};
  for (int64_t n = 0; n < kFrames; ++n)
    audio.channels[0][static_cast<size_t>(n)] = audio.channels[1][static_cast<size_t>(n)] = 0.5 * n / kFrames;
  return audio;
}

}  // namespace

TEST(AudioFile, ACutShortFileKeepsTheLengthItsHeaderClaims) {
  ScratchDirectory dir;
  const int formats[] = {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                         SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, SF_FORMAT_RF64 | SF_FORMAT_PCM_16,
                         SF_FORMAT_AIFF | SF_FORMAT_PCM_24};
  for (const int format : formats) {
    const std::string path = dir.File(std::to_string(format) + ".audio");
    SaveAudioFile(path, Ramp(format));
    int64_t declared = 0;
    EXPECT_EQ(LoadAudioFile(path, &declared).Frames(), kFrames) << std::hex << format;
    EXPECT_EQ(declared, kFrames) << std::hex << format;

    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
    const AudioBuffer cut = LoadAudioFile(path, &declared);
    EXPECT_GT(cut.Frames(), 0) << std::hex << format;
    EXPECT_LE(cut.Frames(), kFrames / 2) << std::hex << format;
    EXPECT_EQ(declared, kFrames) << std::hex << format;
  }
}

// A WAV written to a stream gives no sizes: it holds what it holds.
TEST(AudioFile, AStreamedWavClaimsNoLength) {
  ScratchDirectory dir;
  const std::string path = dir.File("streamed.wav");
  SaveAudioFile(path, Ramp(SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  std::string bytes;
  {
    std::ifstream file(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  const size_t data = bytes.find("data");
  ASSERT_NE(data, std::string::npos);
  std::memset(&bytes[4], 0xFF, 4);
  std::memset(&bytes[data + 4], 0xFF, 4);
  std::ofstream(path, std::ios::binary) << bytes;
  int64_t declared = 0;
  EXPECT_EQ(LoadAudioFile(path, &declared).Frames(), kFrames);
  EXPECT_EQ(declared, kFrames);
}

#endif  // ZARN_HAVE_APP
