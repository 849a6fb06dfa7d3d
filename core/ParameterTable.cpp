#include "core/ParameterTable.h"

#include "core/ParamIds.h"
#include "host/IFxAPIBase.h"

namespace {
constexpr int kNoAuto = IParam::kFlagCannotAutomate;
}

void InitZarnParameters(IFxAPIBase& plugin) {
  auto p = [&plugin](int index) -> IParam& { return *plugin.GetParam(index); };
  p(kDriveL).InitFloatParam("Drive L", 0.0, -6.0, 12.0, 0.1, "dB");
  p(kDriveR).InitFloatParam("Drive R", 0.0, -6.0, 12.0, 0.1, "dB");
  p(kCeilingL).InitFloatParam("Ceiling L", -0.1, -20.0, 0.0, 0.1, "dBTP");
  p(kCeilingR).InitFloatParam("Ceiling R", -0.1, -20.0, 0.0, 0.1, "dBTP");
  p(kRelease).InitFloatParam("Release", 50.0, 30.0, 1000.0, 1.0, "ms");
  p(kBypass).InitBoolParam("Bypass", false, "", 0, "", "off", "on");
  p(kLevelMatch).InitBoolParam("Level Match", false, "", kNoAuto, "", "off", "on");
  p(kMask).InitBoolParam("Mask", false, "", kNoAuto, "", "off", "on");
  p(kDetect).InitFloatParam("Detect", 1.0, 0.1, 10.0, 0.1, "");
  p(kCodecMode).InitIntParam("Codec Mode", 0, 0, 3, "");
  p(kLinked).InitBoolParam("Linked", true, "", 0, "", "off", "on");
  p(kLights).InitBoolParam("Lights", false, "", kNoAuto, "", "off", "on");
  p(kSmooth).InitFloatParam("Smooth", 0.0, 0.0, 100.0, 1.0, "%");
  p(kView).InitBoolParam("View", false, "", kNoAuto, "", "off", "on");
  p(kLoud).InitFloatParam("Loud", 0.0, 0.0, 100.0, 1.0, "%");
  p(kLoudMode).InitBoolParam("Loud Mode", false, "", 0, "", "Clean", "Warm");
  p(kZoom).InitFloatParam("Zoom", 0.0, 0.0, 1.5, 0.01, "", kNoAuto);
  p(kAnalyser).InitBoolParam("Analyser", false, "", kNoAuto, "", "off", "on");
  p(kCharacter).InitIntParam("Character", 0, 0, 10, "");
  p(kLoudClip).InitEnumParam("Loud Clip", 0, 3, "", 0, "", {"Soft", "Cubic", "Hard"});
  p(kLoudDelta).InitBoolParam("Loud Delta", false, "", kNoAuto, "", "off", "on");
  p(kFullDelta).InitBoolParam("Full Delta", false, "", kNoAuto, "", "off", "on");
  p(kPlatform).InitIntParam("Platform", 0, 0, 5, "", kNoAuto);
  p(kDynamicCeiling).InitBoolParam("Dynamic Ceiling", false, "", kNoAuto, "", "off", "on");
  p(kTargetLufs).InitFloatParam("Target LUFS", -9.0, -24.0, -6.0, 0.1, "LUFS", kNoAuto);
  p(kDither).InitEnumParam("Dither", 0, 3, "", 0, "", {"Off", "16-bit", "24-bit"});
  p(kExtra).InitFloatParam("Extra", 0.0, 0.0, 100.0, 1.0, "%");
}
