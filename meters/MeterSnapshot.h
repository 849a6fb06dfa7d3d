#pragma once

#include <cstddef>

// Every reading of one meter tick (50 ms of audio), in a fixed field order: the record the audio
// thread hands to the editor. Levels in dB (-100: no reading), shares and scores 0..1.
struct MeterSnapshot {
  static constexpr int kBands = 6;
  static constexpr int kWaveLength = 32;

  float inL = 0, inR = 0;
  float vuL = 0, vuR = 0;
  float grL = 0, grR = 0;
  float lufsL = 0, lufsR = 0;
  float lufsM = 0, lufsS = 0, lufsI = 0;
  float lufsI_in = 0;
  float tpL = 0, tpR = 0;
  float gespL = 0, gespR = 0;
  float lnsL = 0, lnsR = 0;
  float heiL = 0, heiR = 0;
  float tpsL = 0, tpsR = 0;
  float sgdDb = 0, sgdMaxDb = 0;
  float corrR = 0;
  float multibandCorr[kBands] = {};
  float causeBands[kBands] = {};
  float pwmdL = 0, pwmdR = 0;
  float ehsL = 0, ehsR = 0;
  float ascL = 0, ascR = 0;
  float deltaSfmL = 0, deltaSfmR = 0;
  float nmrL = 0, nmrR = 0;
  float psrOut = 0, psrIn = 0, deltaPsr = 0;
  bool smoothValidConflict = false;
  float codecIspRisk = 0, srcRisk = 0;
  float effCeilDb = 0;
  float mlPreAttenDb = 0;
  float punchLowDb = 0, punchMidDb = 0, punchHighDb = 0;
  float deltaLfDb = 0, deltaHfDb = 0;
  float deltaWidthPct = 0;
  float lra = 0;
  float effRelMsL = 0, effRelMsR = 0;
  float holdFracL = 0, holdFracR = 0;
  float charThdPct = 0;
  float loudClipPct = 0;
  float loudThdPct = 0;
  float insistInDb = 0, insistOutDb = 0;
  float insistWavePost[kWaveLength] = {};
  float insistWavePre[kWaveLength] = {};
};

// The fields by key, in record order (arrays as one entry with their length): for messages,
// reports and tests that walk every reading.
struct MeterField {
  const char* key;
  size_t offset;
  int count;      // 1, or the array length
  bool isBool;
};
extern const MeterField kMeterFields[];
extern const int kMeterFieldCount;
// Number of scalar values (arrays counted element by element): 135.
int MeterValueCount();
