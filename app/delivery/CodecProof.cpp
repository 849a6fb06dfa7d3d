#include "app/delivery/CodecProof.h"

#include <algorithm>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include "app/audio/Decibels.h"
#include "app/audio/SampleRateConversion.h"
#include "app/audio/UserError.h"
#include "app/delivery/DecodedPeaks.h"

namespace {

struct CodecSetup {
  const char* encoder;
  int64_t bitRate;
  int fixedRate;  // 0: the master's, if the encoder takes it
};

CodecSetup SetupOf(Codec codec) {
  switch (codec) {
    case Codec::kAac: return {"aac", 256000, 0};
    case Codec::kMp3: return {"libmp3lame", 320000, 0};
    case Codec::kOpus: break;
  }
  return {"libopus", 160000, 48000};
}

struct ContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using ContextPtr = std::unique_ptr<AVCodecContext, ContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

[[noreturn]] void Refuse(Codec codec, const std::string& what, int error = 0) {
  std::string reason = what;
  if (error != 0) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    reason += ": " + std::string(text);
  }
  throw UserError(std::string("codec check ") + CodecName(codec) + ": " + reason);
}

bool TakesRate(const AVCodec* encoder, int rate) {
  if (encoder->supported_samplerates == nullptr) return true;
  for (const int* r = encoder->supported_samplerates; *r != 0; ++r)
    if (*r == rate) return true;
  return false;
}

// The encoder's own rate where it has one, else the master's, else 48 kHz.
int CodecRate(const AVCodec* encoder, const CodecSetup& setup, double masterRate) {
  if (setup.fixedRate != 0) return setup.fixedRate;
  const int rate = static_cast<int>(masterRate);
  return TakesRate(encoder, rate) ? rate : 48000;
}

// Float formats first: they carry the master's overs into the encoder unclipped.
AVSampleFormat EncoderFormat(const AVCodec* encoder) {
  for (AVSampleFormat wanted : {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT})
    for (const AVSampleFormat* f = encoder->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
      if (*f == wanted) return wanted;
  return encoder->sample_fmts ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
}

ContextPtr OpenEncoder(Codec codec, const AVCodec* encoder, int rate, int channels) {
  ContextPtr context(avcodec_alloc_context3(encoder));
  context->sample_rate = rate;
  context->time_base = {1, rate};
  av_channel_layout_default(&context->ch_layout, channels);
  context->sample_fmt = EncoderFormat(encoder);
  if (context->sample_fmt != AV_SAMPLE_FMT_FLTP && context->sample_fmt != AV_SAMPLE_FMT_FLT)
    Refuse(codec, "the encoder takes no float samples");
  context->bit_rate = SetupOf(codec).bitRate;
  context->profile = codec == Codec::kAac ? FF_PROFILE_AAC_LOW : FF_PROFILE_UNKNOWN;
  context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // the decoder needs the stream's set-up
  if (const int error = avcodec_open2(context.get(), encoder, nullptr); error < 0)
    Refuse(codec, "cannot open the encoder", error);
  return context;
}

ContextPtr OpenDecoder(Codec codec, const AVCodecContext& encoder) {
  const AVCodec* decoder = avcodec_find_decoder(encoder.codec_id);
  if (decoder == nullptr) Refuse(codec, "libavcodec has no decoder for it");
  ContextPtr context(avcodec_alloc_context3(decoder));
  context->sample_rate = encoder.sample_rate;
  av_channel_layout_copy(&context->ch_layout, &encoder.ch_layout);
  context->request_sample_fmt = AV_SAMPLE_FMT_FLTP;
  if (encoder.extradata_size > 0) {
    context->extradata = static_cast<uint8_t*>(
        av_mallocz(static_cast<size_t>(encoder.extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE));
    std::copy_n(encoder.extradata, encoder.extradata_size, context->extradata);
    context->extradata_size = encoder.extradata_size;
  }
  if (const int error = avcodec_open2(context.get(), decoder, nullptr); error < 0)
    Refuse(codec, "cannot open the decoder", error);
  return context;
}

// Decoded audio, one vector per channel, from whatever sample format the decoder gives.
class DecodedAudio {
 public:
  DecodedAudio(int channels, int64_t expectedFrames) : channels_(static_cast<size_t>(channels)) {
    for (auto& channel : channels_) channel.reserve(static_cast<size_t>(std::max<int64_t>(0, expectedFrames)));
  }

  void Append(const AVFrame& frame) {
    const auto format = static_cast<AVSampleFormat>(frame.format);
    switch (av_get_packed_sample_fmt(format)) {
      case AV_SAMPLE_FMT_FLT: return AppendAs<float>(frame, format, 1.0);
      case AV_SAMPLE_FMT_DBL: return AppendAs<double>(frame, format, 1.0);
      case AV_SAMPLE_FMT_S16: return AppendAs<int16_t>(frame, format, 1.0 / 32768.0);
      case AV_SAMPLE_FMT_S32: return AppendAs<int32_t>(frame, format, 1.0 / 2147483648.0);
      default: return AppendAs<uint8_t>(frame, format, 0.0);  // no decoder used here gives it
    }
  }
  std::vector<std::vector<double>>& Channels() { return channels_; }

 private:
  template <typename Sample>
  void AppendAs(const AVFrame& frame, AVSampleFormat format, double scale) {
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int nChannels = static_cast<int>(channels_.size());
    for (int c = 0; c < nChannels; ++c) {
      const auto* data = reinterpret_cast<const Sample*>(frame.data[planar ? c : 0]);
      const int first = planar ? 0 : c;
      const int stride = planar ? 1 : nChannels;
      auto& channel = channels_[static_cast<size_t>(c)];
      for (int i = 0; i < frame.nb_samples; ++i) channel.push_back(scale * static_cast<double>(data[first + i * stride]));
    }
  }

  std::vector<std::vector<double>> channels_;
};

class Transcoder {
 public:
  Transcoder(Codec codec, AVCodecContext& encoder, AVCodecContext& decoder, DecodedAudio& decoded)
      : codec_(codec), encoder_(encoder), decoder_(decoder), decoded_(decoded),
        packet_(av_packet_alloc()), frame_(av_frame_alloc()) {}

  // Sends one frame (nullptr: the end) and decodes every packet it gives.
  void Encode(const AVFrame* input) {
    if (const int error = avcodec_send_frame(&encoder_, input); error < 0)
      Refuse(codec_, "the encoder refused the audio", error);
    while (avcodec_receive_packet(&encoder_, packet_.get()) == 0) {
      CountSkip(*packet_);
      Decode(packet_.get());
      av_packet_unref(packet_.get());
    }
    if (input == nullptr) Decode(nullptr);
  }

  // Priming samples the encoder marked on its packets, which libavcodec's decoding drops.
  int64_t MarkedSkip() const { return markedSkip_; }

 private:
  void CountSkip(const AVPacket& packet) {
    size_t size = 0;
    const uint8_t* data = av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (data != nullptr && size >= 4)
      markedSkip_ += static_cast<int64_t>(data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24);
  }

  void Decode(const AVPacket* packet) {
    if (const int error = avcodec_send_packet(&decoder_, packet); error < 0)
      Refuse(codec_, "the decoder refused a packet", error);
    while (avcodec_receive_frame(&decoder_, frame_.get()) == 0) {
      decoded_.Append(*frame_);
      av_frame_unref(frame_.get());
    }
  }

  Codec codec_;
  AVCodecContext& encoder_;
  AVCodecContext& decoder_;
  DecodedAudio& decoded_;
  PacketPtr packet_;
  FramePtr frame_;
  int64_t markedSkip_ = 0;
};

// Fills `frame` with frames [start, start + n) of `audio`, silence past its end.
void FillFrame(AVFrame& frame, const AudioBuffer& audio, int64_t start) {
  const auto format = static_cast<AVSampleFormat>(frame.format);
  const bool planar = av_sample_fmt_is_planar(format) != 0;
  const int nChannels = audio.Channels();
  for (int c = 0; c < nChannels; ++c)
    for (int i = 0; i < frame.nb_samples; ++i) {
      const int64_t at = start + i;
      const double x = at < audio.Frames() ? audio.channels[static_cast<size_t>(c)][static_cast<size_t>(at)] : 0.0;
      float* plane = reinterpret_cast<float*>(frame.data[planar ? c : 0]);
      plane[planar ? i : i * nChannels + c] = static_cast<float>(x);
    }
}

// A render the codec was reading as it came was abandoned.
struct RenderAbandoned {};

// Returns the priming samples the decoding dropped already. With `progress`, waits for each
// frame's samples to be rendered.
int64_t Transcode(Codec codec, const AudioBuffer& audio, AVCodecContext& encoder,
                  AVCodecContext& decoder, DecodedAudio& decoded, const RenderProgress* progress) {
  Transcoder transcoder(codec, encoder, decoder, decoded);
  const int frameSize = encoder.frame_size > 0 ? encoder.frame_size : 1024;
  FramePtr frame(av_frame_alloc());
  for (int64_t start = 0; start < audio.Frames(); start += frameSize) {
    frame->nb_samples = frameSize;  // the last one padded with silence: every encoder takes that
    frame->format = encoder.sample_fmt;
    frame->sample_rate = encoder.sample_rate;
    av_channel_layout_copy(&frame->ch_layout, &encoder.ch_layout);
    if (const int error = av_frame_get_buffer(frame.get(), 0); error < 0)
      Refuse(codec, "out of memory", error);
    if (progress && !progress->WaitFor(std::min<int64_t>(start + frameSize, audio.Frames())))
      throw RenderAbandoned{};
    FillFrame(*frame, audio, start);
    frame->pts = start;
    transcoder.Encode(frame.get());
    av_frame_unref(frame.get());
  }
  transcoder.Encode(nullptr);
  return transcoder.MarkedSkip();
}

void Measure(const std::vector<std::vector<double>>& channels, CodecCheck& check) {
  float peak = 0.0f;
  for (const auto& channel : channels) {
    const DecodedPeaks reading = ReadDecodedPeaks(channel);
    peak = std::max(peak, reading.peak);
    check.overs += reading.overs;
  }
  check.truePeakDbtp = AmplitudeToDb(peak);
}

}  // namespace

const char* CodecName(Codec codec) {
  switch (codec) {
    case Codec::kAac: return "aac";
    case Codec::kMp3: return "mp3";
    case Codec::kOpus: break;
  }
  return "opus";
}

std::vector<Codec> ParseCodecList(const std::string& text) {
  std::vector<Codec> codecs;
  if (text == "none") return codecs;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const std::string name = text.substr(start, comma - start);
    bool known = false;
    for (Codec codec : {Codec::kAac, Codec::kMp3, Codec::kOpus})
      if (name == CodecName(codec)) {
        known = true;
        if (std::find(codecs.begin(), codecs.end(), codec) == codecs.end()) codecs.push_back(codec);
      }
    if (!known)
      throw UserError("--codecs \"" + text + "\": expected a list of aac, mp3 and opus, or none");
    start = comma + 1;
  }
  return codecs;
}

namespace {

const AVCodec* EncoderOf(Codec codec) {
  const AVCodec* encoder = avcodec_find_encoder_by_name(SetupOf(codec).encoder);
  if (encoder == nullptr) Refuse(codec, std::string("libavcodec has no encoder ") + SetupOf(codec).encoder);
  return encoder;
}

AudioBuffer EncodeAndDecode(Codec codec, const AudioBuffer& master, const RenderProgress* progress) {
  // libavcodec's notes on timestamps it cannot update and on its encoders' averages are no news.
  static const bool quiet = (av_log_set_level(AV_LOG_ERROR), true);
  (void)quiet;
  const AVCodec* encoder = EncoderOf(codec);
  const int rate = CodecRate(encoder, SetupOf(codec), master.sampleRate);
  AudioBuffer converted;
  if (rate != master.sampleRate) converted = ConvertSampleRate(master, rate);
  const AudioBuffer& audio = rate != master.sampleRate ? converted : master;

  ContextPtr encoderContext = OpenEncoder(codec, encoder, rate, audio.Channels());
  ContextPtr decoderContext = OpenDecoder(codec, *encoderContext);
  // Room for the priming and the padded last frame besides the audio.
  DecodedAudio decoded(audio.Channels(), audio.Frames() + 2 * std::max(encoderContext->frame_size, 1024));
  const int64_t marked = Transcode(codec, audio, *encoderContext, *decoderContext, decoded, progress);

  // The encoder's priming samples come first, less what libavcodec dropped already (marked on
  // the packets, as LAME does, or known to the decoder, as Opus's pre-skip); the padding of the
  // last frame comes after the end.
  const auto delay = static_cast<size_t>(
      std::max<int64_t>(0, encoderContext->initial_padding - marked - decoderContext->delay));
  AudioBuffer result;
  result.sampleRate = rate;
  result.channels = std::move(decoded.Channels());
  for (auto& channel : result.channels) {
    channel.erase(channel.begin(),
                  channel.begin() + static_cast<std::ptrdiff_t>(std::min(delay, channel.size())));
    channel.resize(std::min(channel.size(), static_cast<size_t>(audio.Frames())));
  }
  return result;
}

CodecCheck Prove(Codec codec, const AudioBuffer& master, const RenderProgress* progress) {
  const AudioBuffer decoded = EncodeAndDecode(codec, master, progress);
  CodecCheck check;
  check.codec = codec;
  check.sampleRate = decoded.sampleRate;
  check.decodedFrames = decoded.Frames();
  Measure(decoded.channels, check);
  return check;
}

}  // namespace

AudioBuffer EncodeAndDecode(Codec codec, const AudioBuffer& master) {
  return EncodeAndDecode(codec, master, nullptr);
}

bool CodecRunsAt(Codec codec, double sampleRate) {
  return CodecRate(EncoderOf(codec), SetupOf(codec), sampleRate) == sampleRate;
}

std::optional<CodecCheck> ProveCodecAsRendered(Codec codec, const AudioBuffer& master,
                                               const RenderProgress& progress) {
  try {
    return Prove(codec, master, &progress);
  } catch (const RenderAbandoned&) {
    return std::nullopt;
  }
}

CodecCheck ProveCodec(Codec codec, const AudioBuffer& master) { return Prove(codec, master, nullptr); }
