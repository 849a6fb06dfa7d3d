#pragma once

#include <vector>

#include "app/render/ReductionCollector.h"
#include "meters/MeterSnapshot.h"

class ZARN;

// Drives a prepared plug-in the way a plug-in host does: blocks of at most the block size given
// to SetupProcessing, one input and one output array per connected channel (one channel takes
// the plug-in's mono path), and the limiter's gain reduction collected after every block.
class OfflineHost {
 public:
  OfflineHost(ZARN& plugin, int nChannels, int blockSize);

  // Processes `frames` (at most the block size) interleaved frames and returns the plug-in's
  // output, interleaved the same way; the pointer stays valid until the next call.
  const double* Process(const double* interleaved, int frames);
  // The same from one array per channel into one array per channel, without copies.
  void Process(const double* const* inputs, double* const* outputs, int frames);

  // A parameter change, in force from the next block on, as a host applies it at a block's start.
  void ChangeParam(int paramIdx, double plainValue);

  // The limiter's gain reduction over the blocks so far, from its smallest gain in each.
  ReductionStats Reduction() const { return reduction_.Stats(); }

  // What follows is silence that only brings out the last samples.
  void EndInput();

  // The meter snapshot published by the last block, if one was.
  bool TakeMeterSnapshot(MeterSnapshot& out);

 private:
  void CollectGainReduction();

  ZARN& plugin_;
  int nChannels_;
  std::vector<std::vector<double>> inputs_, outputs_;
  std::vector<double*> inputPointers_, outputPointers_;
  std::vector<double> interleavedOutput_;
  ReductionCollector reduction_;
};
