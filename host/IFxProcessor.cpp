#include "host/IFxProcessor.h"

#include <cmath>

bool IFxProcessor::IsValidSetup(double sampleRate, int maxBlockSize) {
  return std::isfinite(sampleRate) && sampleRate >= kMinSampleRate &&
         sampleRate <= kMaxSampleRate && maxBlockSize >= 1 && maxBlockSize <= kMaxBlockSize;
}

bool IFxProcessor::SetupProcessing(double sampleRate, int maxBlockSize, int nInputs,
                                   int nOutputs) {
  if (!IsValidSetup(sampleRate, maxBlockSize)) return false;
  if (nInputs < 1 || nInputs > 2 || nOutputs < 1 || nOutputs > 2) return false;
  sampleRate_ = sampleRate;
  blockSize_ = maxBlockSize;
  SetChannelsConnected(nInputs, nOutputs);
  OnProcessingReset();
  return true;
}

void IFxProcessor::SetChannelsConnected(int nInputs, int nOutputs) {
  nInputs_ = nInputs;
  nOutputs_ = nOutputs;
}
