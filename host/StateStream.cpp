#include "host/StateStream.h"

#include <algorithm>

std::vector<uint8_t> ReadWholeStream(Steinberg::IBStream& stream, bool keepFailedReads) {
  constexpr Steinberg::int32 kPiece = 128;
  std::vector<uint8_t> bytes;
  uint8_t piece[kPiece];
  while (bytes.size() < kMaxStateBytes) {
    Steinberg::int32 got = 0;
    const Steinberg::tresult result = stream.read(piece, kPiece, &got);
    got = std::clamp<Steinberg::int32>(got, 0, kPiece);  // never trust a count past the request
    if (got == 0) break;
    const bool failed = result != Steinberg::kResultOk;
    if (failed && !keepFailedReads) break;
    bytes.insert(bytes.end(), piece, piece + got);
  }
  return bytes;
}

bool ReadExactly(Steinberg::IBStream& stream, uint8_t* buffer, Steinberg::int32 size) {
  Steinberg::int32 done = 0;
  while (done < size) {
    Steinberg::int32 got = 0;
    if (stream.read(buffer + done, size - done, &got) != Steinberg::kResultOk) return false;
    if (got <= 0 || got > size - done) return false;
    done += got;
  }
  return true;
}
