#pragma once

// Reading a host's state stream whole. [UI thread]

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/vst3/Stream.h"

// The state is 220 bytes; anything past this is never read.
constexpr std::size_t kMaxStateBytes = 64 * 1024;

// Reads in pieces of 128 bytes until a read delivers nothing. A read that reports an error ends
// the loop and its bytes are dropped, unless keepFailedReads (a host known to report errors on
// good reads), in which case they are kept and reading goes on.
std::vector<uint8_t> ReadWholeStream(Steinberg::IBStream& stream, bool keepFailedReads);

// Reads exactly `size` bytes, in as many reads as the stream needs; false when a read reports an
// error or the stream ends first.
bool ReadExactly(Steinberg::IBStream& stream, uint8_t* buffer, Steinberg::int32 size);
