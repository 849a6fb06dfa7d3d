#include "app/delivery/MasterTrack.h"

#include <algorithm>
#include <cstdio>

#include "app/audio/Decibels.h"
#include "app/audio/SampleRateConversion.h"
#include "app/audio/UserError.h"
#include "app/delivery/MasterOptions.h"
#include "app/delivery/ParallelFor.h"
#include "editor/NumberText.h"
#include "app/render/OutputPeakMeter.h"
#include "app/render/ReferenceLoudness.h"

namespace {

// "0.25 s (12000 frames)".
std::string Length(int64_t frames, double sampleRate) {
  return Fixed(static_cast<double>(frames) / sampleRate, 2) + " s (" + std::to_string(frames) + " frames)";
}

// A file cut short (a copy or download that stopped) reads as a shorter whole one.
std::string ShorterThanItsHeader(const std::string& path, const AudioBuffer& audio, int64_t declaredFrames) {
  return path + " is shorter than its header says: it holds " + Length(audio.Frames(), audio.sampleRate) +
         " of " + Length(declaredFrames, audio.sampleRate) + "; the master is of what is there";
}

void CheckMasterable(const std::string& path, const AudioBuffer& audio, int64_t declaredFrames) {
  if (audio.Channels() > 2)
    throw UserError("cannot master " + path + ": it has " + std::to_string(audio.Channels()) +
                       " channels; only mono and stereo files can be mastered");
  if (audio.sampleRate < kMinMasterRate || audio.sampleRate > kMaxMasterRate)
    throw UserError("cannot master " + path + ": its sample rate " +
                       std::to_string(static_cast<long>(audio.sampleRate)) +
                       " Hz is outside 8000..768000 Hz");
  if (audio.Frames() == 0)
    throw UserError("cannot master " + path + ": it holds no audio" +
                    (declaredFrames > 0 ? ", though its header says " + Length(declaredFrames, audio.sampleRate)
                                        : std::string()));
}

double TruePeak(const std::vector<double>& channel) {
  OutputPeakMeter meter(1);
  const double* pointer = channel.data();
  meter.Add(&pointer, static_cast<int64_t>(channel.size()));
  meter.Finish();
  return meter.TruePeak();
}

}  // namespace

PreparedTrack PrepareTrack(const std::string& path, double deliveryRate, int jobs) {
  int64_t declaredFrames = 0;
  AudioBuffer original = LoadAudioFile(path, &declaredFrames);
  CheckMasterable(path, original, declaredFrames);
  PreparedTrack track;
  if (declaredFrames > original.Frames()) track.warnings.push_back(ShorterThanItsHeader(path, original, declaredFrames));
  track.inputSampleRate = original.sampleRate;
  track.inputFigures = MeasureFigures(original, &track.inputShortTerm, jobs);
  track.input = deliveryRate > 0.0 ? ConvertSampleRate(original, deliveryRate) : std::move(original);
  return track;
}

LoudnessFigures MeasureFigures(const AudioBuffer& audio, std::vector<LoudnessPoint>* shortTerm,
                               int jobs) {
  const size_t channels = audio.channels.size();
  bs1770::Analysis loudness;
  std::vector<double> truePeaks(channels);
  ParallelFor(channels + 1, jobs, [&](size_t i) {
    if (i < channels)
      truePeaks[i] = TruePeak(audio.channels[i]);
    else
      loudness = bs1770::Analyse(audio);
  });
  if (shortTerm) *shortTerm = ShortTermSeries(loudness, audio.sampleRate);
  LoudnessFigures figures;
  figures.integratedLufs = loudness.integratedLufs;
  figures.loudnessRangeLu = loudness.loudnessRangeLu;
  figures.maxMomentaryLufs = loudness.maxMomentaryLufs;
  figures.maxShortTermLufs = loudness.maxShortTermLufs;
  double truePeak = 0.0;
  for (double peak : truePeaks) truePeak = std::max(truePeak, peak);
  figures.truePeakDbtp = AmplitudeToDb(truePeak);
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
