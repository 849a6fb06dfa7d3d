#include "app/RenderCommand.h"

#include <cstdio>
#include <memory>
#include <ostream>

#include "app/CommandLine.h"
#include "app/ParamsCommand.h"
#include "app/ProgressBar.h"
#include "app/RenderArguments.h"
#include "app/render/RenderFile.h"
#include "app/render/RenderReport.h"

namespace {
constexpr int kExitOk = 0;
}  // namespace

int RunRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  RenderArguments parsed = ParseRenderArguments(args);
  if (parsed.help) {
    out << UsageText();
    return kExitOk;
  }
  if (parsed.list) return RunParamsCommand(parsed.json ? std::vector<std::string>{"--json"}
                                                      : std::vector<std::string>{}, out);
  // Whether to show a bar is decided once, on the first block, when the length is known.
  std::unique_ptr<ProgressBar> progress;
  bool progressDecided = false;
  parsed.options.onProgress = [&progress, &progressDecided](double done, double total) {
    if (!progressDecided && ProgressBar::WantedFor(total))
      progress = std::make_unique<ProgressBar>(stderr);
    progressDecided = true;
    if (progress) progress->Update(done / total);
  };
  const RenderResult result = RenderFile(parsed.options);
  progress.reset();
  for (const std::string& warning : result.warnings) err << "zarn: warning: " << warning << "\n";
  out << (parsed.json ? FormatRenderReportJson(result) : FormatRenderReport(result));
  return kExitOk;
}
