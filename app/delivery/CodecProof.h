#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/audio/AudioFile.h"
#include "app/delivery/RenderProgress.h"

// What a streaming service's encoder makes of a master: the master encoded and decoded again in
// memory with libavcodec (AAC-LC 256 kbit/s, MP3 320 kbit/s through LAME, Opus 160 kbit/s at
// 48 kHz), the encoder's delay removed, and the decoded audio read with the plug-in's full-band
// true-peak meter.
enum class Codec { kAac, kMp3, kOpus };

struct CodecCheck {
  Codec codec = Codec::kAac;
  double sampleRate = 0.0;       // the rate the codec ran at (Opus: always 48 kHz)
  int64_t decodedFrames = 0;     // after the encoder delay, up to the master's length
  double truePeakDbtp = -100.0;  // highest true peak of the decoded audio
  int64_t overs = 0;             // sample intervals whose reconstruction rises above 0 dBFS

  bool Clean() const { return truePeakDbtp <= 0.0; }
};

const char* CodecName(Codec codec);

// "aac,mp3,opus" in any order and subset, or "none". Throws UserError for anything else.
std::vector<Codec> ParseCodecList(const std::string& text);

// The master through the codec and back, at the codec's rate, aligned with the master and as
// long as it (encoder delay and the last frame's padding removed). Throws UserError when
// libavcodec lacks the encoder or refuses the audio.
AudioBuffer EncodeAndDecode(Codec codec, const AudioBuffer& master);

CodecCheck ProveCodec(Codec codec, const AudioBuffer& master);

// Whether `codec` runs at `sampleRate` itself (a master at another rate is converted first).
// Throws UserError when libavcodec lacks the encoder.
bool CodecRunsAt(Codec codec, double sampleRate);

// ProveCodec on a master still being rendered, at a rate the codec runs at: each frame is read
// once `progress` says it is written. Nothing when the render is abandoned first.
std::optional<CodecCheck> ProveCodecAsRendered(Codec codec, const AudioBuffer& master,
                                               const RenderProgress& progress);
