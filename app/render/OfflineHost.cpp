#include "app/render/OfflineHost.h"

#include <algorithm>

#include "app/audio/AudioFile.h"
#include "core/ZARN.h"

OfflineHost::OfflineHost(ZARN& plugin, int nChannels, int blockSize)
    : plugin_(plugin),
      nChannels_(nChannels),
      inputs_(static_cast<size_t>(nChannels), std::vector<double>(static_cast<size_t>(blockSize))),
      outputs_(inputs_),
      interleavedOutput_(static_cast<size_t>(nChannels) * static_cast<size_t>(blockSize)) {
  for (int c = 0; c < nChannels; ++c) {
    inputPointers_.push_back(inputs_[static_cast<size_t>(c)].data());
    outputPointers_.push_back(outputs_[static_cast<size_t>(c)].data());
  }
}

const double* OfflineHost::Process(const double* interleaved, int frames) {
  Deinterleave(interleaved, nChannels_, frames, inputPointers_.data());
  Process(inputPointers_.data(), outputPointers_.data(), frames);
  Interleave(outputPointers_.data(), nChannels_, frames, interleavedOutput_.data());
  return interleavedOutput_.data();
}

// The plug-in only reads its inputs; its interface predates const.
void OfflineHost::Process(const double* const* inputs, double* const* outputs, int frames) {
  plugin_.ProcessAudioBlock(const_cast<double**>(inputs), const_cast<double**>(outputs), frames);
  CollectGainReduction();
}

void OfflineHost::ChangeParam(int paramIdx, double plainValue) { plugin_.SetParamValue(paramIdx, plainValue); }

void OfflineHost::CollectGainReduction() {
  reduction_.Add(plugin_, nChannels_);
}

void OfflineHost::EndInput() { plugin_.Engine().EndInputAfter(0); }

bool OfflineHost::TakeMeterSnapshot(MeterSnapshot& out) {
  return plugin_.Engine().TakeMeterSnapshot(out);
}
