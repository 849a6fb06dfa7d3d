#pragma once

#include <exception>
#include <optional>
#include <thread>

#include "app/audio/AudioFile.h"
#include "app/delivery/CodecProof.h"
#include "app/delivery/RenderProgress.h"

// One codec's proof of a render, on a thread of its own from the moment the render starts: a
// search cannot tell whether a render is the master until it is finished and measured, and by
// then the slowest codec is well on its way, on a core the render leaves free. A render that
// turns out not to be the master is dropped with its proof.
class EarlyCodecProof {
 public:
  EarlyCodecProof() = default;
  EarlyCodecProof(const EarlyCodecProof&) = delete;
  EarlyCodecProof& operator=(const EarlyCodecProof&) = delete;
  ~EarlyCodecProof() { Drop(); }

  // Starts proving `master` (rendered into from now on, publishing to Progress()) with `codec`,
  // which must run at the master's rate. Drops the proof running before.
  void Start(Codec codec, const AudioBuffer& master);
  RenderProgress& Progress() { return progress_; }
  // Abandons the render and its proof.
  void Drop();

  bool Running() const { return thread_.joinable(); }
  Codec Proving() const { return codec_; }
  // The finished proof of the render, once rendered; throws what the proof threw.
  CodecCheck Finish();

 private:
  std::thread thread_;
  RenderProgress progress_;
  Codec codec_ = Codec::kAac;
  std::optional<CodecCheck> check_;
  std::exception_ptr failure_;
};
