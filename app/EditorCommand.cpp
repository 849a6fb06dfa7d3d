#include "app/EditorCommand.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/ArgumentCursor.h"
#include "app/audio/AudioFile.h"
#include "app/audio/AudioSink.h"
#include "app/audio/OutputFormat.h"
#include "app/audio/UserError.h"
#include "app/render/NumberParsing.h"
#include "editor/NumberText.h"
#include "app/render/ParamAssignment.h"
#include "app/render/RenderFile.h"
#include "core/ZARN.h"
#include "editor/linux/ChromiumWebView.h"
#include "editor/linux/SystemOpener.h"
#include "editor/linux/X11EditorWindow.h"
#include "editor/linux/X11EmbeddedView.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kBlock = 512;
constexpr auto kTimerPeriod = std::chrono::milliseconds(20);

volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

struct EditorOptions {
  std::string inputPath;
  bool headless = false;
  double seconds = 0.0;  // 0: until the window closes or Ctrl-C
  std::string screenshotPath;
  std::string renderPath;
  std::vector<std::string> settings;  // "Name=value", applied before the page opens
  std::string audioDevice = "default";
  bool silent = false;
  int width = 1440;  // the page's size in CSS pixels
  int height = 604;
  double deviceScale = 0.0;  // 0: the screen's own
  double screenshotAt = 3.0;  // seconds of playback before the screenshot
};

// "WxH" within the sizes the editor view allows.
void ParseSize(const std::string& text, EditorOptions& options) {
  int width = 0, height = 0;
  char x = 0, rest = 0;
  if (std::sscanf(text.c_str(), "%d%c%d%c", &width, &x, &height, &rest) != 3 || (x != 'x' && x != 'X') ||
      width < 480 || width > 4320 || height < 201 || height > 1812)
    throw UserError("--size: expected WxH within 480x201 and 4320x1812, not " + text);
  options.width = width;
  options.height = height;
}

EditorOptions ParseEditorArguments(const std::vector<std::string>& args) {
  EditorOptions options;
  ArgumentCursor cursor(args);
  while (!cursor.Done()) {
    const std::string& word = cursor.Take();
    if (word == "--headless") {
      options.headless = true;
    } else if (word == "--seconds") {
      const auto seconds = ParseFiniteNumber(cursor.TakeValueOf(word));
      if (!seconds || *seconds <= 0.0) throw UserError("--seconds: expected a positive number");
      options.seconds = *seconds;
    } else if (word == "--size") {
      ParseSize(cursor.TakeValueOf(word), options);
    } else if (word == "--scale") {
      const auto scale = ParseFiniteNumber(cursor.TakeValueOf(word));
      if (!scale || *scale < 0.5 || *scale > 4.0) throw UserError("--scale: expected a factor from 0.5 to 4");
      options.deviceScale = *scale;
    } else if (word == "--screenshot-at") {
      const auto seconds = ParseFiniteNumber(cursor.TakeValueOf(word));
      if (!seconds || *seconds < 0.0) throw UserError("--screenshot-at: expected seconds, 0 or more");
      options.screenshotAt = *seconds;
    } else if (word == "--screenshot") {
      options.screenshotPath = cursor.TakeValueOf(word);
    } else if (word == "--render") {
      options.renderPath = cursor.TakeValueOf(word);
      ContainerForOutput(options.renderPath);  // refused now rather than after the session
    } else if (word == "--set") {
      options.settings.push_back(cursor.TakeValueOf(word));
    } else if (word == "--audio-device") {
      options.audioDevice = cursor.TakeValueOf(word);
    } else if (word == "--no-audio") {
      options.silent = true;
    } else if (ArgumentCursor::IsOption(word)) {
      throw UserError("editor: unknown option " + word);
    } else if (options.inputPath.empty()) {
      options.inputPath = word;
    } else {
      throw UserError("editor: expected one input file");
    }
  }
  if (options.inputPath.empty()) throw UserError("editor: expected an input file");
  return options;
}

// Loops the file through the plug-in block by block.
class LoopingPlayer {
 public:
  LoopingPlayer(ZARN& plugin, const AudioBuffer& audio) : plugin_(plugin), audio_(audio) {
    const size_t channels = static_cast<size_t>(audio.Channels());
    in_.assign(channels, std::vector<double>(kBlock));
    out_.assign(channels, std::vector<double>(kBlock));
  }

  void PlayBlock() {
    const int64_t frames = audio_.Frames();
    for (size_t c = 0; c < in_.size(); ++c)
      for (int i = 0; i < kBlock; ++i)
        in_[c][static_cast<size_t>(i)] = frames > 0 ? audio_.channels[c][static_cast<size_t>((position_ + i) % frames)] : 0.0;
    position_ = frames > 0 ? (position_ + kBlock) % frames : 0;
    double* ins[2] = {in_[0].data(), in_.size() > 1 ? in_[1].data() : nullptr};
    double* outs[2] = {out_[0].data(), out_.size() > 1 ? out_[1].data() : nullptr};
    plugin_.ProcessAudioBlock(ins, outs, kBlock);
  }

  // The last block for a device: interleaved, mono or stereo as the file.
  void Interleave(std::vector<float>& frames) const {
    const size_t channels = out_.size();
    frames.resize(channels * kBlock);
    for (size_t i = 0; i < kBlock; ++i)
      for (size_t c = 0; c < channels; ++c) frames[i * channels + c] = static_cast<float>(out_[c][i]);
  }

 private:
  ZARN& plugin_;
  const AudioBuffer& audio_;
  std::vector<std::vector<double>> in_, out_;
  int64_t position_ = 0;
};

std::vector<std::string> CurrentSettings(const ZARN& plugin) {
  std::vector<std::string> settings;
  for (int i = 0; i < plugin.NParams(); ++i) {
    settings.push_back(plugin.GetParam(i)->Name() + "=" + General(plugin.GetParam(i)->Value()));
  }
  return settings;
}

std::unique_ptr<AudioSink> OpenSink(const EditorOptions& options, int channels, double sampleRate,
                                    std::ostream& out) {
  std::string whyNot = "sound switched off";
  std::unique_ptr<AudioSink> sink;
  if (!options.silent) sink = OpenSystemAudio(options.audioDevice, channels, sampleRate, whyNot);
  if (!sink) {
    sink = std::make_unique<SilentSink>(sampleRate);
    out << "Playing silently: " << whyNot << "\n";
  }
  out << "Audio: " << sink->Describe() << "\n";
  return sink;
}

// Plays the file through the plug-in on a thread of its own, as a host's audio thread would,
// until asked to stop. A device that fails mid-way is replaced by silence.
class AudioThread {
 public:
  AudioThread(LoopingPlayer& player, std::unique_ptr<AudioSink> sink, double sampleRate)
      : player_(player), sink_(std::move(sink)), sampleRate_(sampleRate), thread_([this] { Run(); }) {}
  ~AudioThread() {
    stop_.store(true);
    thread_.join();
  }
  double SecondsPlayed() const { return static_cast<double>(blocks_.load()) * kBlock / sampleRate_; }

 private:
  void Run() {
    std::vector<float> frames;
    while (!stop_.load()) {
      player_.PlayBlock();
      player_.Interleave(frames);
      if (!sink_->Write(frames.data(), kBlock)) sink_ = std::make_unique<SilentSink>(sampleRate_);
      blocks_.fetch_add(1);
    }
  }

  LoopingPlayer& player_;
  std::unique_ptr<AudioSink> sink_;
  double sampleRate_;
  std::atomic<bool> stop_{false};
  std::atomic<long long> blocks_{0};
  std::thread thread_;  // last: starts once everything it uses exists
};

std::string ProgramPath() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.string();
}

}  // namespace

std::string FindEditorPage(const std::string& programPath) {
  const fs::path folder = fs::path(programPath).parent_path();
  for (const fs::path& candidate : {folder / "ZARN.vst3/Contents/Resources/web/index.html",
                                    folder / "../Resources/web/index.html",
                                    fs::path("Resources/web/index.html")}) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) return fs::weakly_canonical(candidate, error).string();
  }
  return {};
}

int RunEditorCommand(const std::vector<std::string>& args, std::ostream& out) {
  const EditorOptions options = ParseEditorArguments(args);
  const AudioBuffer audio = LoadAudioFile(options.inputPath);
  if (audio.Channels() < 1 || audio.Channels() > 2)
    throw UserError("cannot play " + options.inputPath + ": only mono and stereo files");
  const std::string page = FindEditorPage(ProgramPath());
  if (page.empty()) throw UserError("editor: the editor page (Resources/web/index.html) was not found");

  auto plugin = std::make_unique<ZARN>();
  if (!plugin->SetupProcessing(audio.sampleRate, kBlock, audio.Channels(), audio.Channels()))
    throw UserError("cannot play " + options.inputPath + ": unsupported sample rate");
  ApplyParamAssignments(*plugin, ParseParamAssignments(options.settings, *plugin));
  IFxAPIBase::SetLinkOpener(OpenInSystemBrowser);

  ChromiumWebView::Callbacks callbacks;
  callbacks.onPageMessage = [&plugin](const std::string& json) { plugin->OnPageMessage(json); };
  bool pageShown = false;  // a screenshot before the first load would show nothing
  callbacks.onPageLoaded = [&plugin, &pageShown] {
    plugin->OnPageLoaded();
    pageShown = true;
  };
  // On screen, the page is embedded in a window of our own exactly as in a host's window.
  std::unique_ptr<X11EditorWindow> window;
  std::unique_ptr<IWebView> view;
  ChromiumWebView* webView = nullptr;
  if (options.headless) {
    ChromiumWebView::Options viewOptions;
    viewOptions.width = options.width;
    viewOptions.height = options.height;
    viewOptions.deviceScale = options.deviceScale;
    auto headless = std::make_unique<ChromiumWebView>(callbacks, page, viewOptions);
    webView = headless.get();
    view = std::move(headless);
  } else {
    window = X11EditorWindow::Open("ZARN", options.width, options.height);
    if (!window) throw UserError("editor: no X display to show the page on (DISPLAY); try --headless");
    X11EmbeddedView::Options embedding;
    embedding.ownsParent = true;
    if (options.deviceScale > 0.0) embedding.contentScale = static_cast<float>(options.deviceScale);
    auto embedded = X11EmbeddedView::Create(window->Id(), callbacks, page, embedding);
    if (embedded) webView = embedded->Browser();
    view = std::move(embedded);
  }
  if (!webView || webView->BrowserPid() == 0) throw UserError("editor: chromium could not be started");
  IWebView* shown = view.get();
  plugin->AttachWebView(std::move(view));

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  LoopingPlayer player(*plugin, audio);
  {
    AudioThread audioThread(player, OpenSink(options, audio.Channels(), audio.sampleRate, out), audio.sampleRate);
    const auto start = Clock::now();
    auto nextTick = start;
    bool screenshotTaken = false;
    while (!gStop && webView->IsAlive() && !(window && window->PollClosed())) {
      const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
      if (Clock::now() >= nextTick) {
        plugin->OnFrameworkTimer();
        nextTick += kTimerPeriod;
      }
      if (!options.screenshotPath.empty() && !screenshotTaken && pageShown &&
          audioThread.SecondsPlayed() >= options.screenshotAt) {
        screenshotTaken = true;
        if (!webView->CaptureScreenshot(options.screenshotPath))
          throw UserError("cannot write " + options.screenshotPath + ": no screenshot of the page");
        out << "Saved " << options.screenshotPath << "\n";
        break;
      }
      if (options.seconds > 0.0 && elapsed >= options.seconds) break;
      std::vector<pollfd> events;
      for (const int fd : shown->EventFds()) events.push_back({fd, POLLIN, 0});
      events.push_back({webView->EventFd(), POLLIN, 0});
      if (window) events.push_back({window->Fd(), POLLIN, 0});
      if (::poll(events.data(), events.size(), 5) > 0) shown->Poll();
    }
  }

  if (!options.renderPath.empty()) {
    RenderOptions render;
    render.inputPath = options.inputPath;
    render.outputPath = options.renderPath;
    render.settings = CurrentSettings(*plugin);
    RenderFile(render);
    out << "Wrote " << options.renderPath << " with the final settings\n";
  }
  plugin->CloseWebView();
  return 0;
}
