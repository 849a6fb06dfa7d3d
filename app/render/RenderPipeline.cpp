#include "app/render/RenderPipeline.h"

#include <algorithm>

#include "app/audio/AudioFile.h"
#include "app/audio/AudioReader.h"
#include "app/audio/AudioWriter.h"
#include "app/audio/InterruptCleanup.h"
#include "app/render/MeterLog.h"
#include "app/render/OutputPeakMeter.h"

namespace {

// Long enough that hand-overs and file calls are rare, short enough to stay in the cache
// between stages; and enough of them in flight to ride out the other stages' hiccups.
constexpr int kChunkFrames = 8192;
constexpr int kChunksInFlight = 4;

template <class Chunk, class... Args>
std::vector<Chunk> MakeChunks(const Args&... args) {
  std::vector<Chunk> chunks;
  chunks.reserve(kChunksInFlight);
  for (int i = 0; i < kChunksInFlight; ++i) chunks.push_back(Chunk{args...});
  return chunks;
}

}  // namespace

int RenderPipeline::ChunkCapacity(int blockSize) {
  return (kChunkFrames + blockSize - 1) / blockSize * blockSize;
}

AudioChunk::AudioChunk(int nChannels, int capacity)
    : samples_(static_cast<size_t>(nChannels) * static_cast<size_t>(capacity)),
      nChannels_(nChannels),
      capacity_(capacity) {}

void AudioChunk::PointersAt(int offset, double** pointers) {
  for (int c = 0; c < nChannels_; ++c) pointers[c] = Channel(c) + offset;
}

// The engine's side of the output pipe: blocks of output go into the current chunk, which goes
// to the writer once full, or early when the next block would not fit (the silence after a
// short last block): a block never straddles two chunks.
class RenderPipeline::OutputCursor {
 public:
  OutputCursor(ChunkPipe<OutputChunk>& pipe, double sampleRate)
      : pipe_(pipe), sampleRate_(sampleRate) {}

  // One block through `process` into the current chunk; false once the pipe is aborted.
  bool Run(const ProcessBlock& process, const double* const* inputs, int frames) {
    if (chunk_ != nullptr && chunk_->audio.Frames() + frames > chunk_->audio.Capacity()) Send();
    if (chunk_ == nullptr && !Open()) return false;
    double* outputs[2];
    chunk_->audio.PointersAt(chunk_->audio.Frames(), outputs);
    const bool ticked = process(inputs, outputs, frames, tick_);
    chunk_->audio.SetFrames(chunk_->audio.Frames() + frames);
    framesProcessed_ += frames;
    if (ticked)
      chunk_->ticks.push_back({static_cast<double>(framesProcessed_) / sampleRate_, tick_});
    if (chunk_->audio.Frames() == chunk_->audio.Capacity()) Send();
    return true;
  }

  void Finish() {
    if (chunk_ != nullptr) Send();
    pipe_.Finish();
  }

 private:
  bool Open() {
    chunk_ = pipe_.Free();
    if (chunk_ == nullptr) return false;
    chunk_->audio.SetFrames(0);
    chunk_->ticks.clear();
    return true;
  }
  void Send() {
    pipe_.Send();
    chunk_ = nullptr;
  }

  ChunkPipe<OutputChunk>& pipe_;
  double sampleRate_;
  OutputChunk* chunk_ = nullptr;
  int64_t framesProcessed_ = 0;
  MeterSnapshot tick_;
};

RenderPipeline::RenderPipeline(AudioReader& reader, int blockSize, int latency,
                               AudioWriter& writer, OutputPeakMeter& meter, MeterLog& meters)
    : reader_(reader),
      writer_(writer),
      meter_(meter),
      meters_(meters),
      nChannels_(reader.Channels()),
      blockSize_(blockSize),
      latency_(latency),
      input_(MakeChunks<AudioChunk>(nChannels_, ChunkCapacity(blockSize))),
      output_(MakeChunks<OutputChunk>(AudioChunk(nChannels_, ChunkCapacity(blockSize)),
                                      std::vector<OutputChunk::Tick>{})) {}

RenderPipeline::~RenderPipeline() {
  input_.Abort();
  output_.Abort();
  JoinStages();
}

int64_t RenderPipeline::Run(const ProcessBlock& process, const Progress& onProgress) {
  {
    // The stages start with Ctrl-C and SIGTERM blocked and keep them so, so that those reach
    // this thread, where InterruptCleanup::HoldSignals can hold them back.
    const InterruptCleanup::HoldSignals held;
    stages_.emplace_back([this] { ReadStage(); });
    stages_.emplace_back([this] { WriteStage(); });
  }
  int64_t frames = 0;
  try {
    frames = EngineStage(process, onProgress);
  } catch (...) {
    Fail();
  }
  JoinStages();
  if (failure_) std::rethrow_exception(failure_);
  return frames;
}

void RenderPipeline::Fail() {
  {
    const std::lock_guard<std::mutex> lock(failureMutex_);
    if (!failure_) failure_ = std::current_exception();
  }
  input_.Abort();
  output_.Abort();
}

void RenderPipeline::JoinStages() {
  for (std::thread& stage : stages_) stage.join();
  stages_.clear();
}

// Fills every chunk whole but the last, whatever length each read returns.
void RenderPipeline::ReadStage() {
  try {
    std::vector<double> interleaved;
    while (AudioChunk* chunk = input_.Free()) {
      const int capacity = chunk->Capacity();
      double* channels[2];
      chunk->PointersAt(0, channels);
      double* into = channels[0];  // one channel needs no reordering
      if (nChannels_ > 1) {
        interleaved.resize(static_cast<size_t>(capacity) * static_cast<size_t>(nChannels_));
        into = interleaved.data();
      }
      int frames = 0;
      while (frames < capacity) {
        const int64_t read = reader_.Read(into + static_cast<size_t>(frames) * nChannels_,
                                          capacity - frames);
        if (read == 0) break;
        frames += static_cast<int>(read);
      }
      if (nChannels_ > 1) Deinterleave(interleaved.data(), nChannels_, frames, channels);
      if (whole_ != nullptr) {
        whole_->inputPeak.Add(channels, frames);
        whole_->input.Add(channels, frames);
      }
      chunk->SetFrames(frames);
      if (frames > 0) input_.Send();
      if (frames < capacity) break;
    }
    input_.Finish();
  } catch (...) {
    Fail();
  }
}

int64_t RenderPipeline::EngineStage(const ProcessBlock& process, const Progress& onProgress) {
  const double sampleRate = reader_.SampleRate();
  const double totalSeconds = static_cast<double>(reader_.Frames()) / sampleRate;
  OutputCursor output(output_, sampleRate);
  double* inputs[2];
  int64_t framesRead = 0;
  while (AudioChunk* chunk = input_.Next()) {
    for (int start = 0; start < chunk->Frames(); start += blockSize_) {
      const int frames = std::min(blockSize_, chunk->Frames() - start);
      chunk->PointersAt(start, inputs);
      if (!output.Run(process, inputs, frames)) return framesRead;
      framesRead += frames;
      if (onProgress) onProgress(static_cast<double>(framesRead) / sampleRate, totalSeconds);
    }
    input_.GiveBack();
  }
  // The plug-in's last samples, brought out by silence (cleared before every block, in case a
  // plug-in writes into its inputs).
  if (inputEnd_) inputEnd_();
  AudioChunk silence(nChannels_, blockSize_);
  silence.PointersAt(0, inputs);
  for (int remaining = latency_; remaining > 0; remaining -= blockSize_) {
    const int frames = std::min(blockSize_, remaining);
    for (int c = 0; c < nChannels_; ++c) std::fill_n(silence.Channel(c), frames, 0.0);
    if (!output.Run(process, inputs, frames)) return framesRead;
  }
  output.Finish();
  return framesRead;
}

// Meter ticks, the output meter and the file take the plug-in's output from its `latency`th
// frame on, so that the file lines up with the input.
void RenderPipeline::WriteStage() {
  try {
    std::vector<double> interleaved;
    int64_t framesToDrop = latency_;
    double* channels[2];
    while (OutputChunk* chunk = output_.Next()) {
      for (const OutputChunk::Tick& tick : chunk->ticks) meters_.Add(tick.seconds, tick.snapshot);
      const int dropped = static_cast<int>(std::min<int64_t>(framesToDrop, chunk->audio.Frames()));
      framesToDrop -= dropped;
      const int frames = chunk->audio.Frames() - dropped;
      chunk->audio.PointersAt(dropped, channels);
      meter_.Add(channels, frames);
      if (whole_ != nullptr) whole_->output.Add(channels, frames);
      const double* frameOrder = channels[0];  // one channel needs no reordering
      if (nChannels_ > 1) {
        interleaved.resize(static_cast<size_t>(chunk->audio.Capacity()) * nChannels_);
        Interleave(channels, nChannels_, frames, interleaved.data());
        frameOrder = interleaved.data();
      }
      if (frames > 0) writer_.Write(frameOrder, frames);
      output_.GiveBack();
    }
  } catch (...) {
    Fail();
  }
}
