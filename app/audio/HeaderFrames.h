#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The frames a WAV (RIFF, RIFX, RF64) or AIFF file's header says it holds. libsndfile trims its
// own count to the data the file holds, so a file cut short reads as a shorter whole file; only
// the header still tells. Nothing for other formats, a header it cannot follow, or one that gives
// no length (the placeholder sizes of a WAV written to a stream).
// `sndfileFormat` is the file's libsndfile SF_FORMAT_* major | subtype.
std::optional<int64_t> HeaderFrames(const std::string& path, int sndfileFormat);
