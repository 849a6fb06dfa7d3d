#include "app/audio/AudioWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/audio/SndfileReason.h"
#include "app/audio/UserError.h"

namespace {

[[noreturn]] void RefuseWrite(const std::string& path, const std::string& reason) {
  throw UserError("cannot write " + path + ": " + reason);
}

// Creates "<path>.partN" exclusively, so two renders into one folder never share a temporary
// file; returns the open descriptor and its name.
int CreateTemporaryFile(const std::string& path, std::string& temporaryPath) {
  const std::string stem = path + ".part" + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 1000; ++attempt) {
    temporaryPath = stem + std::to_string(attempt);
    const int fd = open(temporaryPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) RefuseWrite(path, std::strerror(errno));
  }
  RefuseWrite(path, "no free temporary file name");
}

}  // namespace

AudioWriter::AudioWriter(const std::string& path, int sampleRate, int channels, int format)
    : path_(path), channels_(channels) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = format;
  if (!sf_format_check(&info))
    RefuseWrite(path, "this file format cannot be written with " + std::to_string(channels) +
                          " channel(s) at " + std::to_string(sampleRate) + " Hz");

  // The descriptor stays ours (libsndfile does not close it), so it is closed exactly once.
  {
    const InterruptCleanup::HoldSignals held;
    descriptor_ = CreateTemporaryFile(path, temporaryPath_);
    interruptCleanup_.Register(temporaryPath_);
  }
  file_ = sf_open_fd(descriptor_, SFM_WRITE, &info, SF_FALSE);
  if (file_ == nullptr) {
    const std::string reason = SndfileReason(sf_strerror(nullptr));
    Discard();
    RefuseWrite(path, reason);
  }
  sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  // libsndfile scales full scale to 2^(n-1) - 1 when writing n-bit integers but reads them back
  // over 2^(n-1), a gain that moves the samples the limiter's dither put on the 16-bit grid off
  // it, and it truncates towards minus infinity, an error of half a step on average. Scaled by
  // 2^(n-1) and rounded to the nearest step here, the grid is kept exactly.
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: integerScale_ = 128.0; break;
    case SF_FORMAT_PCM_16: integerScale_ = 32768.0; break;
    case SF_FORMAT_PCM_24: integerScale_ = 8388608.0; break;
    case SF_FORMAT_PCM_32: integerScale_ = 2147483648.0; break;
    default: break;
  }
  if (integerScale_ > 0.0) sf_command(file_, SFC_SET_NORM_DOUBLE, nullptr, SF_FALSE);
}

AudioWriter::~AudioWriter() {
  if (!committed_) Discard();
}

void AudioWriter::Write(const double* interleaved, int64_t frames) {
  if (integerScale_ > 0.0) {
    scaled_.resize(static_cast<size_t>(frames * channels_));
    for (size_t i = 0; i < scaled_.size(); ++i) scaled_[i] = std::nearbyint(interleaved[i] * integerScale_);
    interleaved = scaled_.data();
  }
  if (sf_writef_double(file_, interleaved, frames) != frames)
    RefuseWrite(path_, SndfileReason(sf_strerror(file_)));
}

void AudioWriter::Commit() {
  const int closeError = sf_close(file_);
  file_ = nullptr;
  if (closeError != 0) RefuseWrite(path_, SndfileReason(sf_error_number(closeError)));
  const int descriptorError = close(descriptor_);
  descriptor_ = -1;
  if (descriptorError != 0) RefuseWrite(path_, std::strerror(errno));
  if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0)
    RefuseWrite(path_, std::strerror(errno));
  interruptCleanup_.Release();
  committed_ = true;
}

void AudioWriter::Discard() {
  if (file_ != nullptr) sf_close(file_);
  file_ = nullptr;
  if (descriptor_ >= 0) close(descriptor_);
  descriptor_ = -1;
  std::remove(temporaryPath_.c_str());
  interruptCleanup_.Release();
}
