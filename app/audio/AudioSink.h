#pragma once

#include <chrono>
#include <memory>
#include <string>

// Where the standalone editor's audio goes: the system's sound device, or nowhere at the pace a
// device would take it. Write blocks until the frames are taken. [audio thread]
class AudioSink {
 public:
  virtual ~AudioSink() = default;
  // Interleaved frames of the sink's channel count; false when the device failed for good.
  virtual bool Write(const float* interleaved, int frames) = 0;
  // What the user is told: "ALSA device default", "silence".
  virtual std::string Describe() const = 0;
};

// Keeps a producer at most `ahead` in front of the wall clock, counting frames at `sampleRate`.
class RealTimePacer {
 public:
  using Clock = std::chrono::steady_clock;
  RealTimePacer(double sampleRate, std::chrono::milliseconds ahead);
  // Counts `frames` as played and sleeps while they would run ahead of the clock.
  void Advance(int frames);
  // How long Advance(frames) would sleep now, without counting them.
  Clock::duration WaitFor(int frames) const;

 private:
  double sampleRate_;
  Clock::duration ahead_;
  Clock::time_point start_;
  long long framesPlayed_ = 0;
};

// Plays nothing, in real time.
class SilentSink final : public AudioSink {
 public:
  explicit SilentSink(double sampleRate);
  bool Write(const float* interleaved, int frames) override;
  std::string Describe() const override { return "silence (real-time pacing)"; }

 private:
  RealTimePacer pacer_;
};

// The system's audio output (ALSA) on `device` ("default" unless the user named one); null with
// the reason in `whyNot` when there is no such device or this build has no system audio.
std::unique_ptr<AudioSink> OpenSystemAudio(const std::string& device, int channels, double sampleRate,
                                           std::string& whyNot);
