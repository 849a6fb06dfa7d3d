// Saved state from the host: any bytes, read by streams that deliver in odd pieces or report
// errors, into a plug-in that thinks its host is WaveLab or not. Every parameter must end inside
// its range, the state written back must be the 220 bytes and the A/B block, and nothing may crash.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "support/Vst3HostObjects.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

ZARN& Plugin(bool waveLab) {
  static testhost::HostApplication waveLabHost(u"WaveLab Pro 12"), otherHost(u"Fuzz Host");
  static ZARN* plugins[2] = {nullptr, nullptr};
  ZARN*& plugin = plugins[waveLab ? 1 : 0];
  if (!plugin) {
    plugin = new ZARN();
    plugin->initialize(waveLab ? static_cast<Steinberg::FUnknown*>(&waveLabHost) : &otherHost);
  }
  return *plugin;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t options = data[0];
  ZARN& plugin = Plugin(options & 1);
  testhost::MemoryStream stream(std::vector<uint8_t>(data + 1, data + size));
  stream.readsReportError = (options & 2) != 0;
  stream.readPiece = 1 + (options >> 2) * 9;
  stream.seekFails = (options & 0xFC) == 0xFC;

  Steinberg::Vst::IComponent& component = plugin;  // the controller has its own setState
  const Steinberg::tresult result = component.setState(&stream);
  Check(result == Steinberg::kResultOk || result == Steinberg::kResultFalse);
  for (int i = 0; i < plugin.NParams(); ++i) {
    const IParam& param = *plugin.GetParam(i);
    Check(std::isfinite(param.Value()) && param.Value() >= param.Min() &&
          param.Value() <= param.Max());
    const double normalized = plugin.getParamNormalized(static_cast<Steinberg::Vst::ParamID>(i));
    Check(normalized >= 0.0 && normalized <= 1.0);
  }
  if (result == Steinberg::kResultOk) Check(plugin.GetParam(kLevelMatch)->Value() == 0.0);

  testhost::MemoryStream saved;
  Check(component.getState(&saved) == Steinberg::kResultOk && saved.Bytes().size() == 220 + 236);  // the A/B block after the 220 bytes
  Check(stream.RefCount() == 1 && saved.RefCount() == 1);
  return 0;
}
