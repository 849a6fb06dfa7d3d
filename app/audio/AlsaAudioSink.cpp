#include <alsa/asoundlib.h>

#include <cerrno>

#include "app/audio/AudioSink.h"

namespace {

constexpr unsigned kLatencyMicroseconds = 100000;

// ALSA playback through the named PCM, 32-bit float interleaved; ALSA converts the format and
// rate where the hardware needs it. A device's own clock paces the writes; only the "null" PCM,
// which has none, is held to the wall clock (holding a real device to it would starve the device
// once its clock drifts ahead).
class AlsaAudioSink final : public AudioSink {
 public:
  AlsaAudioSink(snd_pcm_t* pcm, std::string device, int channels, double sampleRate)
      : pcm_(pcm), device_(std::move(device)), channels_(channels),
        clockless_(snd_pcm_type(pcm) == SND_PCM_TYPE_NULL),
        pacer_(sampleRate, std::chrono::milliseconds(kLatencyMicroseconds / 1000)) {}
  ~AlsaAudioSink() override {
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
  }

  bool Write(const float* interleaved, int frames) override {
    int done = 0;
    while (done < frames) {
      const snd_pcm_sframes_t n =
          snd_pcm_writei(pcm_, interleaved + static_cast<long>(done) * channels_, static_cast<snd_pcm_uframes_t>(frames - done));
      if (n >= 0) {
        done += static_cast<int>(n);
        continue;
      }
      // An underrun (the user's machine stalled) or a suspend is recovered; anything else ends playback.
      if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) return false;
    }
    if (clockless_) pacer_.Advance(frames);
    return true;
  }

  std::string Describe() const override { return "ALSA device " + device_; }

 private:
  snd_pcm_t* pcm_;
  std::string device_;
  int channels_;
  bool clockless_;
  RealTimePacer pacer_;
};

// ALSA prints its configuration complaints (no card 0 on a server) straight to stderr; the
// caller reports the one reason that matters instead.
void IgnoreAlsaMessages(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

std::unique_ptr<AudioSink> OpenSystemAudio(const std::string& device, int channels, double sampleRate,
                                           std::string& whyNot) {
  snd_lib_error_set_handler(IgnoreAlsaMessages);
  snd_pcm_t* pcm = nullptr;
  int error = snd_pcm_open(&pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
  if (error < 0) {
    whyNot = "no audio device " + device + " (" + snd_strerror(error) + ")";
    return nullptr;
  }
  error = snd_pcm_set_params(pcm, SND_PCM_FORMAT_FLOAT, SND_PCM_ACCESS_RW_INTERLEAVED,
                             static_cast<unsigned>(channels), static_cast<unsigned>(sampleRate + 0.5),
                             1 /* let ALSA resample */, kLatencyMicroseconds);
  if (error < 0) {
    whyNot = "audio device " + device + " refused " + std::to_string(channels) + " channels at " +
             std::to_string(static_cast<long>(sampleRate + 0.5)) + " Hz (" + snd_strerror(error) + ")";
    snd_pcm_close(pcm);
    return nullptr;
  }
  return std::make_unique<AlsaAudioSink>(pcm, device, channels, sampleRate);
}
