#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <sndfile.h>

#include "app/audio/InterruptCleanup.h"

// Writes an audio file so that the target path only ever holds a complete file: the samples go
// to a new temporary file beside the target, which Commit renames onto it. A writer destroyed
// without Commit (an error, an exception) removes its temporary file and leaves the target as
// it was; so does Ctrl-C or SIGTERM while the file is being written (InterruptCleanup).
class AudioWriter {
 public:
  static constexpr int kFloatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

  // `format` is libsndfile's SF_FORMAT_* major | subtype. Throws UserError when the format
  // cannot hold this rate and channel count or the temporary file cannot be created.
  AudioWriter(const std::string& path, int sampleRate, int channels, int format = kFloatWav);
  ~AudioWriter();
  AudioWriter(const AudioWriter&) = delete;
  AudioWriter& operator=(const AudioWriter&) = delete;

  // Writes `frames` interleaved frames. Integer formats take full scale as 2^(n-1), as readers
  // do, so samples on the n-bit grid stay on it; they clip at full scale instead of wrapping.
  void Write(const double* interleaved, int64_t frames);
  void Commit();

  const std::string& TemporaryPath() const { return temporaryPath_; }

 private:
  void Discard();

  std::string path_;
  std::string temporaryPath_;
  InterruptCleanup interruptCleanup_;
  int descriptor_ = -1;
  SNDFILE* file_ = nullptr;
  bool committed_ = false;
  int channels_;
  double integerScale_ = 0.0;   // 2^(n-1) for n-bit integer samples, 0 for the others
  std::vector<double> scaled_;
};
