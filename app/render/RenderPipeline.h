#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "app/render/ChunkPipe.h"
#include "app/render/OutputPeakMeter.h"
#include "app/render/ReferenceLoudness.h"
#include "meters/MeterSnapshot.h"

class AudioReader;
class AudioWriter;
class MeterLog;

// Stretches of audio, one array per channel, `Capacity()` frames long, of which the first
// Frames() count.
class AudioChunk {
 public:
  AudioChunk(int nChannels, int capacity);

  int Capacity() const { return capacity_; }
  int Frames() const { return frames_; }
  void SetFrames(int frames) { frames_ = frames; }
  double* Channel(int c) { return samples_.data() + static_cast<size_t>(c) * capacity_; }
  // Pointers to every channel's frame `offset`, for a host's block call.
  void PointersAt(int offset, double** pointers);

 private:
  std::vector<double> samples_;
  int nChannels_;
  int capacity_;
  int frames_ = 0;
};

// Whole-file figures taken beside the render: the input's true peak and the loudness of both
// the input as read and the output as written.
struct WholeFileMeters {
  WholeFileMeters(double sampleRate, int nChannels)
      : inputPeak(nChannels), input(sampleRate, nChannels), output(sampleRate, nChannels) {}

  OutputPeakMeter inputPeak;  // Finish() it after the render
  bs1770::Measurement input, output;
};

// The work of `zarn render` on three threads, so that the file and the measurements of the
// output cost the engine no time: a reader thread fills chunks from the file, the calling
// thread runs them through the plug-in block by block, and a writer thread measures what comes
// out (true peak, meter ticks) and writes it. Chunks are whole multiples of the block size, so
// the plug-in sees exactly the blocks that reading the file block by block would give it.
class RenderPipeline {
 public:
  // One block through the plug-in: `frames` frames from `inputs` into `outputs` (one array per
  // channel each); true when the block published a meter tick, then in `tick`.
  using ProcessBlock = std::function<bool(const double* const* inputs, double* const* outputs,
                                          int frames, MeterSnapshot& tick)>;
  using Progress = std::function<void(double secondsDone, double secondsTotal)>;

  // The plug-in's first `latency` output frames are left out of the file and the measurements;
  // the same number of frames of silence after the input bring out its last samples.
  RenderPipeline(AudioReader& reader, int blockSize, int latency, AudioWriter& writer,
                 OutputPeakMeter& meter, MeterLog& meters);
  ~RenderPipeline();
  RenderPipeline(const RenderPipeline&) = delete;
  RenderPipeline& operator=(const RenderPipeline&) = delete;

  // Also measures the input on the reader thread and the output on the writer thread; before Run.
  void Measure(WholeFileMeters& meters) { whole_ = &meters; }
  // Called on the engine's thread after the last input block, before the silence that brings
  // out the last samples; before Run.
  void OnInputEnd(std::function<void()> inputEnd) { inputEnd_ = std::move(inputEnd); }

  // Frames per chunk: a whole number of blocks.
  static int ChunkCapacity(int blockSize);

  // Renders the whole file; returns the number of input frames. `onProgress` is called on this
  // thread after every input block. Throws the first failure of any stage (a damaged input, a
  // write that failed, an exception from `process` or `onProgress`), with the other stages
  // stopped; the writer then holds an incomplete file, which it discards unless committed.
  int64_t Run(const ProcessBlock& process, const Progress& onProgress);

 private:
  struct OutputChunk {
    struct Tick {
      double seconds;
      MeterSnapshot snapshot;
    };
    AudioChunk audio;
    std::vector<Tick> ticks;  // the meter ticks published by the blocks in `audio`
  };
  class OutputCursor;

  void ReadStage();
  void WriteStage();
  int64_t EngineStage(const ProcessBlock& process, const Progress& onProgress);
  void Fail();  // keeps the first exception in flight and stops every stage
  void JoinStages();

  AudioReader& reader_;
  AudioWriter& writer_;
  OutputPeakMeter& meter_;
  MeterLog& meters_;
  WholeFileMeters* whole_ = nullptr;
  std::function<void()> inputEnd_;
  int nChannels_;
  int blockSize_;
  int latency_;
  ChunkPipe<AudioChunk> input_;
  ChunkPipe<OutputChunk> output_;
  std::vector<std::thread> stages_;
  std::mutex failureMutex_;
  std::exception_ptr failure_;
};
