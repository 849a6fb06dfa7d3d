#include "app/MasterTrack.h"

#include <algorithm>

#include "app/CommandError.h"
#include "app/Decibels.h"
#include "app/MasterArguments.h"
#include "app/OutputPeakMeter.h"
#include "app/ReferenceLoudness.h"
#include "app/SampleRateConversion.h"

namespace {

void CheckMasterable(const std::string& path, const AudioBuffer& audio) {
  if (audio.Channels() > 2)
    throw CommandError("cannot master " + path + ": it has " + std::to_string(audio.Channels()) +
                       " channels; only mono and stereo files can be mastered");
  if (audio.sampleRate < kMinMasterRate || audio.sampleRate > kMaxMasterRate)
    throw CommandError("cannot master " + path + ": its sample rate " +
                       std::to_string(static_cast<long>(audio.sampleRate)) +
                       " Hz is outside 8000..768000 Hz");
  if (audio.Frames() == 0) throw CommandError("cannot master " + path + ": it holds no audio");
}

std::vector<const double*> ChannelPointers(const AudioBuffer& audio, int64_t offset) {
  std::vector<const double*> pointers;
  for (const auto& channel : audio.channels) pointers.push_back(channel.data() + offset);
  return pointers;
}

double TruePeakDbtp(const AudioBuffer& audio) {
  OutputPeakMeter meter(audio.Channels());
  const auto pointers = ChannelPointers(audio, 0);
  meter.Add(pointers.data(), audio.Frames());
  meter.Finish();
  return AmplitudeToDb(meter.TruePeak());
}

}  // namespace

PreparedTrack PrepareTrack(const std::string& path, double deliveryRate) {
  AudioBuffer original = LoadAudioFile(path);
  CheckMasterable(path, original);
  PreparedTrack track;
  track.inputSampleRate = original.sampleRate;
  track.inputFigures = MeasureFigures(original, &track.inputShortTerm);
  track.input = deliveryRate > 0.0 ? ConvertSampleRate(original, deliveryRate) : std::move(original);
  return track;
}

LoudnessFigures MeasureFigures(const AudioBuffer& audio, std::vector<LoudnessPoint>* shortTerm) {
  const bs1770::Analysis loudness = bs1770::Analyse(audio);
  if (shortTerm) *shortTerm = ShortTermSeries(loudness, audio.sampleRate);
  LoudnessFigures figures;
  figures.integratedLufs = loudness.integratedLufs;
  figures.loudnessRangeLu = loudness.loudnessRangeLu;
  figures.maxMomentaryLufs = loudness.maxMomentaryLufs;
  figures.maxShortTermLufs = loudness.maxShortTermLufs;
  figures.truePeakDbtp = TruePeakDbtp(audio);
  figures.peakToLoudnessDb = figures.truePeakDbtp - figures.integratedLufs;
  return figures;
}

void CollectPictures(const PreparedTrack& track, const EngineRender& render, TrackSeries& series) {
  const AudioBuffer& master = render.output;
  series.seconds = master.sampleRate > 0.0 ? static_cast<double>(master.Frames()) / master.sampleRate : 0.0;
  series.input = EnvelopeOf(track.input);
  series.output = EnvelopeOf(master);
  series.reductionDb = render.reductionDb;
  series.inputShortTerm = track.inputShortTerm;
}
