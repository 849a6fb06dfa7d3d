#include "meters/MeterSnapshot.h"

#define ZARN_FIELD(name) {#name, offsetof(MeterSnapshot, name), 1, false}
#define ZARN_ARRAY(name) \
  {#name, offsetof(MeterSnapshot, name), static_cast<int>(sizeof(MeterSnapshot::name) / sizeof(float)), false}

const MeterField kMeterFields[] = {
    ZARN_FIELD(inL), ZARN_FIELD(inR), ZARN_FIELD(vuL), ZARN_FIELD(vuR), ZARN_FIELD(grL),
    ZARN_FIELD(grR), ZARN_FIELD(lufsL), ZARN_FIELD(lufsR), ZARN_FIELD(lufsM), ZARN_FIELD(lufsS),
    ZARN_FIELD(lufsI), ZARN_FIELD(lufsI_in), ZARN_FIELD(tpL), ZARN_FIELD(tpR), ZARN_FIELD(gespL),
    ZARN_FIELD(gespR), ZARN_FIELD(lnsL), ZARN_FIELD(lnsR), ZARN_FIELD(heiL), ZARN_FIELD(heiR),
    ZARN_FIELD(tpsL), ZARN_FIELD(tpsR), ZARN_FIELD(sgdDb), ZARN_FIELD(sgdMaxDb), ZARN_FIELD(corrR),
    ZARN_ARRAY(multibandCorr), ZARN_ARRAY(causeBands), ZARN_FIELD(pwmdL), ZARN_FIELD(pwmdR),
    ZARN_FIELD(ehsL), ZARN_FIELD(ehsR), ZARN_FIELD(ascL), ZARN_FIELD(ascR),
    ZARN_FIELD(deltaSfmL), ZARN_FIELD(deltaSfmR), ZARN_FIELD(nmrL), ZARN_FIELD(nmrR),
    ZARN_FIELD(psrOut), ZARN_FIELD(psrIn), ZARN_FIELD(deltaPsr),
    {"smoothValidConflict", offsetof(MeterSnapshot, smoothValidConflict), 1, true},
    ZARN_FIELD(codecIspRisk), ZARN_FIELD(srcRisk), ZARN_FIELD(effCeilDb),
    ZARN_FIELD(mlPreAttenDb), ZARN_FIELD(punchLowDb), ZARN_FIELD(punchMidDb),
    ZARN_FIELD(punchHighDb), ZARN_FIELD(deltaLfDb), ZARN_FIELD(deltaHfDb),
    ZARN_FIELD(deltaWidthPct), ZARN_FIELD(lra), ZARN_FIELD(effRelMsL), ZARN_FIELD(effRelMsR),
    ZARN_FIELD(holdFracL), ZARN_FIELD(holdFracR), ZARN_FIELD(charThdPct),
    ZARN_FIELD(loudClipPct), ZARN_FIELD(loudThdPct), ZARN_FIELD(insistInDb),
    ZARN_FIELD(insistOutDb), ZARN_ARRAY(insistWavePost), ZARN_ARRAY(insistWavePre),
};
const int kMeterFieldCount = static_cast<int>(sizeof(kMeterFields) / sizeof(kMeterFields[0]));

#undef ZARN_FIELD
#undef ZARN_ARRAY

int MeterValueCount() {
  int n = 0;
  for (int i = 0; i < kMeterFieldCount; ++i) n += kMeterFields[i].count;
  return n;
}
