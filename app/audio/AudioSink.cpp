#include "app/audio/AudioSink.h"

#include <thread>

RealTimePacer::RealTimePacer(double sampleRate, std::chrono::milliseconds ahead)
    : sampleRate_(sampleRate), ahead_(ahead), start_(Clock::now()) {}

RealTimePacer::Clock::duration RealTimePacer::WaitFor(int frames) const {
  const double seconds = static_cast<double>(framesPlayed_ + frames) / sampleRate_;
  const auto due = start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  const auto wait = due - ahead_ - Clock::now();
  return wait > Clock::duration::zero() ? wait : Clock::duration::zero();
}

void RealTimePacer::Advance(int frames) {
  const auto wait = WaitFor(frames);
  if (wait > Clock::duration::zero()) std::this_thread::sleep_for(wait);
  framesPlayed_ += frames;
}

SilentSink::SilentSink(double sampleRate) : pacer_(sampleRate, std::chrono::milliseconds(0)) {}

bool SilentSink::Write(const float*, int frames) {
  pacer_.Advance(frames);
  return true;
}
