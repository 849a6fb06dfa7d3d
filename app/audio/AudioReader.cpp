#include "app/audio/AudioReader.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/audio/HeaderFrames.h"
#include "app/audio/SndfileReason.h"
#include "app/audio/UserError.h"

namespace {

// libsndfile reports a missing file as a generic system error; name the usual causes plainly.
std::string WhyUnopenable(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return "no such file";
  if (status.type() == std::filesystem::file_type::directory) return "is a directory";
  return SndfileReason(sf_strerror(nullptr));
}

}  // namespace

AudioReader::AudioReader(const std::string& path) : path_(path) {
  file_ = sf_open(path.c_str(), SFM_READ, &info_);
  if (file_ == nullptr) throw UserError("cannot read " + path + ": " + WhyUnopenable(path));
  if (info_.channels < 1 || info_.samplerate < 1) {
    sf_close(file_);
    throw UserError("cannot read " + path + ": no audio channels or no sample rate");
  }
  // libsndfile's count is the header's for FLAC and the like, and SF_COUNT_MAX when unknown.
  declaredFrames_ = info_.frames == SF_COUNT_MAX ? 0 : info_.frames;
  if (const auto header = HeaderFrames(path, info_.format)) declaredFrames_ = std::max(declaredFrames_, *header);
}

AudioReader::~AudioReader() { sf_close(file_); }

int64_t AudioReader::Read(double* interleaved, int64_t frames) {
  const sf_count_t read = sf_readf_double(file_, interleaved, frames);
  if (read < frames && sf_error(file_) != SF_ERR_NO_ERROR)
    throw UserError("cannot read " + path_ + ": " + SndfileReason(sf_strerror(file_)));
  return read;
}
