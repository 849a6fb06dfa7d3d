// The saved state of IFxVST3: the parameter block (every value as a little-endian 64-bit float)
// followed by the host-bypass word (int32, 1 when bypassed), then whatever the plug-in appends.
// No header. [UI thread]
#include <algorithm>

#include "host/ByteOrder.h"
#include "host/HostIdentity.h"
#include "host/IFxVST3.h"
#include "host/StateStream.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult IFxVST3::WriteComponentState(IBStream* state) {
  if (!state) return kInvalidArgument;
  try {
    std::vector<uint8_t> bytes;
    SerializeParams(bytes);
    AppendLE32(bytes, IsBypassed() ? 1u : 0u);
    AppendStateTail(bytes);
    int32 written = 0;
    state->write(bytes.data(), static_cast<int32>(bytes.size()), &written);
    return kResultOk;
  } catch (...) {
    return kOutOfMemory;
  }
}

// Whatever the stream holds is applied as far as it goes; the restore counts as done (and
// OnStateRestored runs) only when the bypass word after the values could be read whole.
tresult IFxVST3::ReadComponentState(IBStream* state) {
  if (!state) return kInvalidArgument;
  try {
    const std::vector<uint8_t> bytes = ReadWholeStream(*state, GetHostId() == kHostWaveLab);
    const int64_t end = UnserializeParams(bytes, 0);
    const bool valuesApplied = bytes.size() >= sizeof(double);
    // A short stream has no position after the values: its end is used instead.
    const int64 wordAt = end >= 0 ? end : static_cast<int64>(bytes.size());
    int64 reached = 0;
    uint8_t word[kBypassWordBytes] = {};
    if (state->seek(wordAt, IBStream::kIBSeekSet, &reached) != kResultOk ||
        !ReadExactly(*state, word, kBypassWordBytes)) {
      if (valuesApplied) ShowPartlyRestoredValues();
      return kResultFalse;
    }
    // What follows the bypass word belongs to the plug-in.
    const size_t tailAt = static_cast<size_t>(wordAt) + kBypassWordBytes;
    RestoreStateTail(tailAt < bytes.size() ? bytes.data() + tailAt : nullptr,
                     tailAt < bytes.size() ? bytes.size() - tailAt : 0);
    OnStateRestored();
    SyncControllerValues(ReadLE32(word));
    return kResultOk;
  } catch (...) {
    return kOutOfMemory;
  }
}

// The controller's copies follow the restored values (after OnStateRestored, so that the values
// it forces are what the host reads back).
void IFxVST3::SyncControllerValues(uint32 bypassWord) {
  SyncControllerParams();
  if (vst3kit::Parameter* bypass = Parameters().Find(kBypassParamId))
    bypass->SetNormalized(static_cast<double>(static_cast<int32>(bypassWord)));
}

void IFxVST3::SyncControllerParams() {
  for (int i = 0; i < NParams(); ++i)
    if (vst3kit::Parameter* parameter = Parameters().Find(static_cast<ParamID>(i)))
      parameter->SetNormalized(GetParam(i)->GetNormalized());
}

// A restore that failed still left the values it read in force. The host takes the failure to
// mean that nothing changed, so it is told to read the values again; the page gets them on the
// next timer tick. The bypass word was not read: the controller's bypass stays.
void IFxVST3::ShowPartlyRestoredValues() {
  SyncControllerParams();
  for (int i = 0; i < NParams(); ++i)
    SendParameterValueFromDelegate(i, GetParam(i)->GetNormalized());
  RestartComponent(kParamValuesChanged);
}
