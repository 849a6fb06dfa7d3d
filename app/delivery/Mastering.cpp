#include "app/delivery/Mastering.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "app/audio/UserError.h"
#include "app/delivery/EarlyCodecProof.h"
#include "app/delivery/LoudnessSearch.h"
#include "app/delivery/MasterSettings.h"
#include "app/delivery/ParallelFor.h"
#include "app/render/ReferenceLoudness.h"

namespace fs = std::filesystem;

namespace {

constexpr double kProbesExpected = 5.0;  // renders a track usually takes, for the progress share
constexpr double kCeilingStepDb = 0.1;
constexpr double kLowestCeilingDbtp = -20.0;  // the plug-in's

// A track on its way: what it was read as, its latest render and what will be reported.
struct Track {
  TrackOutcome outcome;
  std::optional<PreparedTrack> prepared;
  std::optional<EngineRender> render;
  double renderedGainDb = std::numeric_limits<double>::quiet_NaN();  // of `render`
  // Proves every whole render with `earlyCodec` as it is made, where the track has a core to
  // spare: the render the search ends on is the master, its slowest codec begun already.
  std::unique_ptr<EarlyCodecProof> earlyProof;
  Codec earlyCodec = Codec::kAac;

  bool Failed() const { return !outcome.error.empty(); }
};

// Counts renders and finished tracks into one share of the whole job.
class ProgressTally {
 public:
  ProgressTally(size_t tracks, std::function<void(const MasterProgress&)> report)
      : total_(static_cast<double>(tracks) * (kProbesExpected + 1.0)), report_(std::move(report)) {
    progress_.tracks = static_cast<int>(tracks);
  }

  void Rendered(int renders) { Add(renders, 0); }
  void TrackDone() { Add(0, 1); }

 private:
  void Add(int renders, int tracks) {
    if (!report_) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    progress_.renders += renders;
    progress_.tracksDone += tracks;
    done_ += renders + tracks;  // a render, or a track's measuring and writing
    // Finished tracks count whole, however few renders they took; until the last one is
    // finished the job is not.
    const double finished = static_cast<double>(progress_.tracksDone) / progress_.tracks;
    progress_.fraction = progress_.tracksDone == progress_.tracks
                             ? 1.0
                             : std::max(finished, std::min(0.99, done_ / total_));
    report_(progress_);
  }

  double total_;
  double done_ = 0.0;
  MasterProgress progress_;
  std::function<void(const MasterProgress&)> report_;
  std::mutex mutex_;
};

// Runs `step` on the track, turning any failure into the track's error.
template <typename Step>
void Guarded(Track& track, const Step& step) {
  if (track.Failed()) return;
  try {
    step();
  } catch (const UserError& error) {
    track.outcome.error = error.what();
  } catch (const std::exception& error) {
    track.outcome.error = "cannot master " + track.outcome.inputPath + ": " + error.what();
  } catch (...) {
    track.outcome.error = "cannot master " + track.outcome.inputPath + ": unexpected failure";
  }
  if (track.Failed()) {
    track.earlyProof.reset();  // before the render it reads
    track.prepared.reset();
    track.render.reset();
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return fs::equivalent(a, b, error);
}

// DIR/<input's base name>.<format>; never an input, never two tracks into one file.
std::vector<Track> PlanTracks(const MasterOptions& options) {
  std::vector<Track> tracks(options.inputs.size());
  std::set<std::string> taken;
  for (size_t i = 0; i < tracks.size(); ++i) {
    TrackOutcome& outcome = tracks[i].outcome;
    outcome.inputPath = options.inputs[i];
    outcome.outputPath = (fs::path(options.outputDir) /
                          (fs::path(outcome.inputPath).stem().string() + MasterFileExtension(options)))
                             .string();
    for (const std::string& input : options.inputs)
      if (SameFile(input, outcome.outputPath))
        outcome.error = "cannot master " + outcome.inputPath + ": its master " +
                        outcome.outputPath + " would overwrite the input " + input;
    if (outcome.error.empty() && !taken.insert(outcome.outputPath).second)
      outcome.error = "cannot master " + outcome.inputPath + ": another input already masters to " +
                      outcome.outputPath;
  }
  return tracks;
}

void Prepare(Track& track, double deliveryRate, int jobs) {
  track.prepared = PrepareTrack(track.outcome.inputPath, deliveryRate, jobs);
  track.outcome.warnings = track.prepared->warnings;
}

void MakeOutputFolder(const std::string& dir) {
  std::error_code error;
  fs::create_directories(dir, error);
  if (error || !fs::is_directory(dir))
    throw UserError("cannot make output folder " + dir + ": " +
                       (error ? error.message() : std::string("not a folder")));
}

ParamValues MasteringValues(const MasterOptions& options, PresetSummary& preset) {
  ParamValues values = DefaultParamValues();
  if (!options.presetPath.empty())
    preset = ApplyPresetFile(options.presetPath, options.presetSlot.value_or(PresetSlot::kA), values);
  ApplySettings(options.settings, values);
  ApplyMasteringOverrides(options.ceilingDbtp, MasterDither(options), values);
  return values;
}

LoudnessGoal GoalOf(const MasterOptions& options) {
  LoudnessGoal goal;
  goal.targetLufs = options.targetLufs;
  goal.maxReductionDb = options.maxReductionDb;
  return goal;
}

// Starts at the gain that would reach the target if the limiter did nothing.
SearchStart StartFromInput(const MasterOptions& options, double inputLufs, double inputTruePeakDbtp,
                           double ceilingDbtp) {
  SearchStart start;
  start.firstGainDb = inputLufs > -70.0 ? options.targetLufs - inputLufs : 0.0;
  start.inputLufs = inputLufs;
  start.onsetGainDb = ceilingDbtp - inputTruePeakDbtp;
  return start;
}

// A search again at a lower ceiling starts where the last one ended.
SearchStart StartAgain(SearchStart start, double gainDb, double ceilingDbtp, double lastCeilingDbtp) {
  start.firstGainDb = gainDb;
  start.onsetGainDb += ceilingDbtp - lastCeilingDbtp;
  return start;
}

void Render(Track& track, const MasterOptions& options, const ParamValues& values, double gainDb) {
  EarlyCodecProof* early = track.earlyProof.get();
  if (early) early->Drop();  // before the render it reads is replaced
  track.renderedGainDb = std::numeric_limits<double>::quiet_NaN();
  track.render = BlankRender(track.prepared->input);
  track.render->output.format = MasterFileFormat(options);
  if (early) early->Start(track.earlyCodec, track.render->output);
  try {
    RenderInto(track.prepared->input, values, gainDb, *track.render, early ? &early->Progress() : nullptr);
  } catch (...) {
    if (early) early->Drop();
    throw;
  }
  track.renderedGainDb = gainDb;
}

ParamValues WithCeiling(ParamValues values, double ceilingDbtp) {
  values[kCeilingL] = values[kCeilingR] = ceilingDbtp;
  return values;
}

// The codecs on up to `jobs` threads (the cores the tracks leave free), and beside them
// `alongside` when given: the delivery of a master the codecs cannot send back. `early`, when
// running, is proving this master already.
std::vector<CodecCheck> ProveCodecs(const AudioBuffer& master, const MasterOptions& options,
                                    int jobs, const std::function<void()>& alongside = {},
                                    EarlyCodecProof* early = nullptr) {
  const size_t codecs = options.codecs.size();
  const bool begun = early != nullptr && early->Running();
  std::vector<CodecCheck> checks(codecs);
  std::vector<std::exception_ptr> failures(codecs + 1);
  const auto provenEarly = [&](size_t i) { return begun && options.codecs[i] == early->Proving(); };
  // Beside the early proof's thread as many as without it: whichever finishes first leaves its
  // core to the others.
  ParallelFor(codecs + (alongside ? 1 : 0), jobs, [&](size_t i) {
    try {
      if (i == codecs)
        alongside();
      else if (!provenEarly(i))
        checks[i] = ProveCodec(options.codecs[i], master);
    } catch (...) {
      failures[i] = std::current_exception();
    }
  });
  for (size_t i = 0; i < codecs; ++i) {
    if (!provenEarly(i)) continue;
    try {
      checks[i] = early->Finish();
    } catch (...) {
      failures[i] = std::current_exception();
    }
  }
  for (const auto& failure : failures)
    if (failure) std::rethrow_exception(failure);
  return checks;
}

int FreeJobsPerTrack(const MasterOptions& options) {
  return std::max(1, options.jobs / static_cast<int>(std::max<size_t>(1, options.inputs.size())));
}

double WorstCodecPeakDbtp(const std::vector<CodecCheck>& checks) {
  double worst = -100.0;
  for (const CodecCheck& check : checks) worst = std::max(worst, check.truePeakDbtp);
  return worst;
}

// With --codec-safe, the next ceiling down while a codec decodes above 0 dBTP (`worstPeakDbtp`);
// nothing once all are clean or the plug-in's lowest ceiling is reached. The steps are 0.1 dB,
// taken several at once while the over is large: half the over at a time (a lower ceiling lowers
// the decoded peak about as much), so a hot master takes a few tries, not one per step, and no
// ceiling is passed over that would have done.
std::optional<double> CodecSafeCeiling(const MasterOptions& options, double ceilingDbtp,
                                       double worstPeakDbtp) {
  if (!options.codecSafe || worstPeakDbtp <= 0.0) return std::nullopt;
  const double steps = std::max(1.0, std::floor(0.5 * worstPeakDbtp / kCeilingStepDb));
  const double lower = std::round(ceilingDbtp / kCeilingStepDb - steps) * kCeilingStepDb;
  if (lower < kLowestCeilingDbtp) return std::nullopt;
  return lower;
}

// Measures the final render and writes it.
void Deliver(Track& track, const MasterOptions& options, double gainDb) {
  TrackOutcome& outcome = track.outcome;
  const AudioBuffer& master = track.render->output;
  outcome.sampleRate = master.sampleRate;
  outcome.channels = master.Channels();
  outcome.frames = master.Frames();
  outcome.input = track.prepared->inputFigures;
  outcome.output = MeasureFigures(master, &outcome.series.outputShortTerm);
  CollectPictures(*track.prepared, *track.render, outcome.series);
  outcome.gainDb = gainDb;
  outcome.reduction = track.render->reduction;
  outcome.targetMissLu = outcome.output.integratedLufs - options.targetLufs;
  SaveAudioFile(outcome.outputPath, master);
}

void LetGo(Track& track) {
  track.earlyProof.reset();
  track.prepared.reset();
  track.render.reset();
}

GainProbe ProbeOf(const EngineRender& render, double gainDb) {
  return GainProbe{gainDb, bs1770::Analyse(render.output).integratedLufs, render.reduction.maxDb,
                   render.reduction.shareAbove1Db};
}

// The track's gain for `values`, its render kept; counts the renders. The first step is a long
// one and seldom the last: on a track long enough to gain by it, it is probed with the estimate,
// on the cores the track may use, and every later probe with the whole render. Whatever is
// chosen, the figures reported are those of the whole render at its gain.
GainProbe SearchTrack(Track& track, const MasterOptions& options, const ParamValues& values,
                      const SearchStart& start, ProgressTally& progress) {
  track.renderedGainDb = std::numeric_limits<double>::quiet_NaN();  // not at these values yet
  bool estimated = !EstimateSavesTime(track.prepared->input);
  const auto measure = [&](double gainDb) {
    GainProbe probe;
    if (!estimated) {
      estimated = true;
      probe = ProbeOf(EstimateThroughEngine(track.prepared->input, values, gainDb, FreeJobsPerTrack(options)),
                      gainDb);
    } else {
      Render(track, options, values, gainDb);
      probe = ProbeOf(*track.render, gainDb);
    }
    progress.Rendered(1);
    return probe;
  };
  const LoudnessGoal goal = GoalOf(options);
  GainSearchResult search = SearchGain(goal, start, measure);
  track.outcome.renders += search.probes;
  if (track.renderedGainDb != search.chosen.gainDb) {
    Render(track, options, values, search.chosen.gainDb);
    ++track.outcome.renders;
    search.chosen = ProbeOf(*track.render, search.chosen.gainDb);
  }
  track.outcome.reachedTarget = ReachesTarget(goal, search.chosen);
  return search.chosen;
}

// The slowest of the chosen codecs that takes the master's rate as it is, to begin with each
// render; none when the track has no core to spare.
std::optional<Codec> EarlyCodec(const MasterOptions& options, double sampleRate) {
  if (FreeJobsPerTrack(options) < 2) return std::nullopt;
  for (Codec codec : {Codec::kAac, Codec::kMp3, Codec::kOpus})  // slowest first
    if (std::find(options.codecs.begin(), options.codecs.end(), codec) != options.codecs.end() &&
        CodecRunsAt(codec, sampleRate))
      return codec;
  return std::nullopt;
}

void MasterAlone(Track& track, const MasterOptions& options, const ParamValues& values,
                 ProgressTally& progress) {
  if (const auto codec = EarlyCodec(options, track.prepared->input.sampleRate)) {
    track.earlyProof = std::make_unique<EarlyCodecProof>();
    track.earlyCodec = *codec;
  }
  double ceiling = options.ceilingDbtp;
  const LoudnessFigures& input = track.prepared->inputFigures;
  SearchStart start = StartFromInput(options, input.integratedLufs, input.truePeakDbtp, ceiling);
  GainProbe chosen = SearchTrack(track, options, WithCeiling(values, ceiling), start, progress);
  const double firstLufs = chosen.lufs;
  // Without --codec-safe this render is the master whatever the codecs say: it is measured and
  // written while they run.
  const auto deliver = [&] { Deliver(track, options, chosen.gainDb); };
  track.outcome.codecs = ProveCodecs(track.render->output, options, FreeJobsPerTrack(options),
                                     options.codecSafe ? std::function<void()>() : deliver,
                                     track.earlyProof.get());
  while (const auto lower =
             CodecSafeCeiling(options, ceiling, WorstCodecPeakDbtp(track.outcome.codecs))) {
    start = StartAgain(start, chosen.gainDb, *lower, ceiling);
    ceiling = *lower;
    chosen = SearchTrack(track, options, WithCeiling(values, ceiling), start, progress);
    track.outcome.codecs = ProveCodecs(track.render->output, options, FreeJobsPerTrack(options), {},
                                       track.earlyProof.get());
  }
  track.outcome.ceilingDbtp = ceiling;
  track.outcome.codecSafeCostLu = firstLufs - chosen.lufs;
  if (options.codecSafe) deliver();
  LetGo(track);
}

// The album's loudness: every track's blocks gated together, as one programme.
GainProbe MeasureAlbum(std::vector<Track>& tracks, const MasterOptions& options,
                       const ParamValues& values, double gainDb) {
  std::vector<std::vector<double>> blocks(tracks.size());
  ParallelFor(tracks.size(), options.jobs, [&](size_t i) {
    Guarded(tracks[i], [&] {
      Render(tracks[i], options, values, gainDb);
      blocks[i] = bs1770::Analyse(tracks[i].render->output).blockPowers;
    });
  });
  GainProbe probe{gainDb, -100.0, 0.0};
  std::vector<double> album;
  double reducedFrames = 0.0, frames = 0.0;
  for (size_t i = 0; i < tracks.size(); ++i) {
    if (tracks[i].Failed()) continue;
    const EngineRender& render = *tracks[i].render;
    album.insert(album.end(), blocks[i].begin(), blocks[i].end());
    probe.maxReductionDb = std::max(probe.maxReductionDb, render.reduction.maxDb);
    reducedFrames += render.reduction.shareAbove1Db * static_cast<double>(render.output.Frames());
    frames += static_cast<double>(render.output.Frames());
  }
  probe.lufs = bs1770::IntegratedLoudness(album);
  probe.reductionShare = frames > 0.0 ? reducedFrames / frames : 0.0;
  return probe;
}

// One gain for every track; each track's render at that gain is kept.
void SearchAlbum(std::vector<Track>& tracks, const MasterOptions& options,
                 const ParamValues& values, const SearchStart& start, AlbumOutcome& album,
                 ProgressTally& progress) {
  double renderedGainDb = 0.0;
  const auto measure = [&](double gainDb) {
    const GainProbe probe = MeasureAlbum(tracks, options, values, gainDb);
    renderedGainDb = gainDb;
    progress.Rendered(static_cast<int>(tracks.size()));
    return probe;
  };
  const GainSearchResult search = SearchGain(GoalOf(options), start, measure);
  album.renders += search.probes;
  if (renderedGainDb != search.chosen.gainDb) {
    MeasureAlbum(tracks, options, values, search.chosen.gainDb);
    ++album.renders;
  }
  album.gainDb = search.chosen.gainDb;
  album.integratedLufs = search.chosen.lufs;
  album.reachedTarget = search.reachedTarget;
}

// The highest decoded true peak of any track and codec.
double ProveAlbum(std::vector<Track>& tracks, const MasterOptions& options) {
  ParallelFor(tracks.size(), options.jobs, [&](size_t i) {
    Guarded(tracks[i], [&] {
      tracks[i].outcome.codecs = ProveCodecs(tracks[i].render->output, options, FreeJobsPerTrack(options));
    });
  });
  double worst = -100.0;
  for (const Track& track : tracks)
    if (!track.Failed()) worst = std::max(worst, WorstCodecPeakDbtp(track.outcome.codecs));
  return worst;
}

// The tracks' loudness as if their mean power were one programme's: close enough to start from.
double AlbumInputLufs(const std::vector<Track>& tracks) {
  std::vector<double> powers;
  for (const Track& track : tracks)
    if (!track.Failed())
      powers.push_back(std::pow(10.0, (track.prepared->inputFigures.integratedLufs + 0.691) / 10.0));
  return powers.empty() ? -100.0 : bs1770::IntegratedLoudness(powers);
}

double AlbumInputTruePeak(const std::vector<Track>& tracks) {
  double peak = -100.0;
  for (const Track& track : tracks)
    if (!track.Failed()) peak = std::max(peak, track.prepared->inputFigures.truePeakDbtp);
  return peak;
}

AlbumOutcome MasterAlbum(std::vector<Track>& tracks, const MasterOptions& options,
                         const ParamValues& values, ProgressTally& progress) {
  AlbumOutcome album;
  const double inputLufs = AlbumInputLufs(tracks);
  if (inputLufs <= -100.0) return album;  // no track left
  album.ceilingDbtp = options.ceilingDbtp;
  SearchStart start = StartFromInput(options, inputLufs, AlbumInputTruePeak(tracks), album.ceilingDbtp);
  SearchAlbum(tracks, options, WithCeiling(values, album.ceilingDbtp), start, album, progress);
  const double firstLufs = album.integratedLufs;
  while (const auto lower = CodecSafeCeiling(options, album.ceilingDbtp, ProveAlbum(tracks, options))) {
    start = StartAgain(start, album.gainDb, *lower, album.ceilingDbtp);
    album.ceilingDbtp = *lower;
    SearchAlbum(tracks, options, WithCeiling(values, album.ceilingDbtp), start, album, progress);
  }
  album.codecSafeCostLu = firstLufs - album.integratedLufs;
  ParallelFor(tracks.size(), options.jobs, [&](size_t i) {
    TrackOutcome& outcome = tracks[i].outcome;
    outcome.renders = album.renders;
    outcome.reachedTarget = album.reachedTarget;
    outcome.ceilingDbtp = album.ceilingDbtp;
    outcome.codecSafeCostLu = album.codecSafeCostLu;
    Guarded(tracks[i], [&] {
      Deliver(tracks[i], options, album.gainDb);
      LetGo(tracks[i]);
    });
    progress.TrackDone();
  });
  return album;
}

}  // namespace

MasterRun MasterTracks(const MasterOptions& options,
                       const std::function<void(const MasterProgress&)>& onProgress) {
  MasterRun run;
  const ParamValues values = MasteringValues(options, run.preset);
  MakeOutputFolder(options.outputDir);
  std::vector<Track> tracks = PlanTracks(options);
  ProgressTally progress(tracks.size(), onProgress);
  const double deliveryRate = options.sampleRate;

  if (options.album) {
    ParallelFor(tracks.size(), options.jobs, [&](size_t i) {
      Guarded(tracks[i], [&] { Prepare(tracks[i], deliveryRate, 1); });
    });
    run.album = MasterAlbum(tracks, options, values, progress);
  } else {
    ParallelFor(tracks.size(), options.jobs, [&](size_t i) {
      Guarded(tracks[i], [&] {
        Prepare(tracks[i], deliveryRate, FreeJobsPerTrack(options));
        MasterAlone(tracks[i], options, values, progress);
      });
      progress.TrackDone();
    });
  }
  for (Track& track : tracks) run.tracks.push_back(std::move(track.outcome));
  return run;
}
