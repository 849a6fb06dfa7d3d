#pragma once

#include <cstdint>
#include <string>

#include <sndfile.h>

// Reads any file libsndfile understands (WAV, AIFF, FLAC, ...) as interleaved doubles, full scale
// +-1 whatever the stored sample type.
class AudioReader {
 public:
  // Throws UserError "cannot read PATH: reason" when the file is missing or unreadable.
  explicit AudioReader(const std::string& path);
  ~AudioReader();
  AudioReader(const AudioReader&) = delete;
  AudioReader& operator=(const AudioReader&) = delete;

  const std::string& Path() const { return path_; }
  double SampleRate() const { return info_.samplerate; }
  int Channels() const { return info_.channels; }
  int64_t Frames() const { return info_.frames; }
  // The frames the header says the file holds: libsndfile's count, or a WAV or AIFF header's own
  // where that is more (libsndfile trims its count to the data there is). Read delivering fewer
  // in all means the file is cut short.
  int64_t DeclaredFrames() const { return declaredFrames_; }
  int Format() const { return info_.format; }  // libsndfile's SF_FORMAT_* major | subtype

  // Reads up to `frames` frames into `interleaved` (frames x Channels() values); returns how many
  // were read, 0 at the end. Throws UserError when the file turns out to be damaged.
  int64_t Read(double* interleaved, int64_t frames);

 private:
  std::string path_;
  SF_INFO info_{};
  SNDFILE* file_ = nullptr;
  int64_t declaredFrames_ = 0;
};
