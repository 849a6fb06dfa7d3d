#pragma once

// A byte stream the host hands over for saving and restoring state.

#include "host/vst3/FUnknown.h"

namespace Steinberg {

class IBStream : public FUnknown {
 public:
  enum IStreamSeekMode : int32 { kIBSeekSet = 0, kIBSeekCur, kIBSeekEnd };

  virtual tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
  virtual tresult PLUGIN_API write(void* buffer, int32 numBytes, int32* numBytesWritten) = 0;
  virtual tresult PLUGIN_API seek(int64 pos, int32 mode, int64* result) = 0;
  virtual tresult PLUGIN_API tell(int64* pos) = 0;
  static constexpr Iid iid = MakeIid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
};

}  // namespace Steinberg
