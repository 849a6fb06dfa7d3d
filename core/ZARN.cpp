#include "core/ZARN.h"

#include <algorithm>
#include <cmath>

#include "core/ParamIds.h"
#include "core/ParameterTable.h"

namespace {

constexpr int kMinScratchFrames = 8192;

float AsFloat(double v) { return static_cast<float>(v); }
bool AsSwitch(double v) { return v >= 0.5; }
float AsSwitchFloat(double v) { return v >= 0.5 ? 1.0f : 0.0f; }
float AsPercent(double v) { return static_cast<float>(v / 100.0); }
int32_t AsInteger(double v) { return static_cast<int32_t>(v); }  // truncates toward zero

}  // namespace

PluginConfig ZARN::MakeConfig() {
  PluginConfig c;
  c.nParams = kNumParams;
  c.nPresets = 1;
  c.channelIO = "1-1 2-2";
  c.pluginName = "ZARN";
  c.productName = "ZARN";
  c.makerName = "Tessary";
  c.vendorVersion = 0x00030000;
  c.uniqueId = FourCharCode("ZARN");
  // Reads "QELM" in memory order (little-endian).
  c.makerId = static_cast<int32_t>('Q' | ('E' << 8) | ('L' << 16) | ('M' << 24));
  c.latency = 0;
  c.pluginType = 0;
  c.hasEditor = true;
  c.editorWidth = 1440;
  c.editorHeight = 604;
  c.minWidth = 480;
  c.minHeight = 201;
  c.maxWidth = 4320;
  c.maxHeight = 1812;
  c.hostResize = true;
  return c;
}

ZARN::ZARN() : IFxVST3(MakeConfig()) {
  InitZarnParameters(*this);
  SetPreset(0, "Default");
}

ZARN::~ZARN() {
  StopEditorTimer();  // no tick may reach a half-destroyed engine
  CloseOpenGesture();
}

bool ZARN::SetParamValue(int paramIdx, double plain) {
  IParam* param = GetParam(paramIdx);
  if (!param || !param->Set(plain)) return false;
  OnParamChange(paramIdx);
  return true;
}

void ZARN::OnParamChange(int paramIdx) {
  const IParam* param = GetParam(paramIdx);
  if (!param) return;
  const double v = param->Value();
  EngineSettings& s = engine.settings;
  switch (paramIdx) {
    case kDriveL: s.driveDb[0] = AsFloat(v); break;
    case kDriveR: s.driveDb[1] = AsFloat(v); break;
    case kCeilingL: s.ceilingDb[0] = AsFloat(v); break;
    case kCeilingR: s.ceilingDb[1] = AsFloat(v); break;
    case kRelease: s.releaseMs = AsFloat(v); break;
    case kBypass: s.bypass = AsSwitch(v); break;
    case kLevelMatch: s.levelMatch = AsSwitch(v); break;
    case kMask: s.mask = AsSwitch(v); break;
    case kDetect: s.detect = AsFloat(v); break;
    case kCodecMode: s.codecMode = AsInteger(v); break;
    case kSmooth: s.smooth = AsPercent(v); break;
    case kLoud: s.loud = AsPercent(v); break;
    case kLoudMode: s.loudWarm = AsSwitchFloat(v); break;
    case kCharacter: s.character = AsFloat(v); break;
    case kLoudClip: s.loudClipMode = static_cast<float>(AsInteger(v)); break;
    case kLoudDelta: s.loudDelta = AsSwitchFloat(v); break;
    case kFullDelta: s.fullDelta = AsSwitchFloat(v); break;
    case kDynamicCeiling: s.dynamicCeiling = AsSwitchFloat(v); break;
    case kTargetLufs: s.targetLufs = AsFloat(v); break;
    case kDither: s.dither = AsInteger(v); break;
    case kExtra: s.extra = AsPercent(v); break;
    default: break;  // Linked, Lights, View, Zoom, Analyser, Platform: the page's business
  }
}

void ZARN::OnProcessingReset() {
  engine.Prepare(GetSampleRate());
  const size_t scratchFrames = static_cast<size_t>(std::max(GetBlockSize(), kMinScratchFrames));
  if (scratch.size() != scratchFrames) scratch.resize(scratchFrames, 0.0);
  engine.settings.channelsIndependent = true;
  OnAllParamsChanged();

  const int latency = engine.Latency();
  if (latency != lastReportedLatency) {
    SetLatency(latency);
    lastReportedLatency = latency;
  }
  uiRefreshTicks.store(5, std::memory_order_relaxed);
  uiSampleRate.store(static_cast<int32_t>(engine.SampleRate()), std::memory_order_relaxed);
}

void ZARN::ProcessAudioBlock(double** inputs, double** outputs, int nFrames) {
  if (NInChansConnected() < 2 || NOutChansConnected() < 2) {
    // A second output the host connected gets the right result rather than stale audio.
    double* right = NOutChansConnected() >= 2 ? outputs[1]
                    : scratch.size() >= static_cast<size_t>(nFrames) ? scratch.data()
                                                                     : outputs[0];
    engine.Process(inputs[0], inputs[0], outputs[0], right, nFrames, true);
  } else {
    engine.Process(inputs[0], inputs[1], outputs[0], outputs[1], nFrames, false);
  }
}

void ZARN::OnStateRestored() {
  OnAllParamsChanged();
  GetParam(kLevelMatch)->Set(0.0);
  engine.settings.levelMatch = false;
  stateRestoredPending.store(true, std::memory_order_relaxed);
  uiRefreshTicks.store(5, std::memory_order_relaxed);
}

