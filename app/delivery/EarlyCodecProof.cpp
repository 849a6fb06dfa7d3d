#include "app/delivery/EarlyCodecProof.h"

#include "app/audio/UserError.h"

void EarlyCodecProof::Start(Codec codec, const AudioBuffer& master) {
  Drop();
  progress_.Publish(0);
  codec_ = codec;
  check_.reset();
  failure_ = nullptr;
  thread_ = std::thread([this, codec, &master] {
    try {
      check_ = ProveCodecAsRendered(codec, master, progress_);
    } catch (...) {
      failure_ = std::current_exception();
    }
  });
}

void EarlyCodecProof::Drop() {
  if (!thread_.joinable()) return;
  progress_.Abandon();
  thread_.join();
}

CodecCheck EarlyCodecProof::Finish() {
  if (thread_.joinable()) thread_.join();
  if (failure_) std::rethrow_exception(failure_);
  if (!check_) throw UserError(std::string("codec check ") + CodecName(codec_) + ": the render was abandoned");
  return *check_;
}
