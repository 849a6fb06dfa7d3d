#include "app/report/ReportPdf.h"

#include <unistd.h>

#include <memory>

#include "editor/Base64.h"
#include "editor/linux/ChromiumProcess.h"
#include "editor/linux/DevToolsPipe.h"
#include "editor/linux/TemporaryFolder.h"

namespace {

using devtools::Json;
using Clock = std::chrono::steady_clock;

constexpr double kA4WidthInches = 8.27, kA4HeightInches = 11.69;
constexpr auto kCloseFlush = std::chrono::milliseconds(300);

std::vector<std::string> BrowserArguments(const std::string& profile) {
  std::vector<std::string> args = ChromiumProcess::IsolatedArguments(profile);
  args.insert(args.end(), {"--headless", "about:blank"});
  return args;
}

// Commands one at a time, each waited for until the one deadline of the whole print.
class Conversation {
 public:
  Conversation(devtools::DevToolsPipe& pipe, Clock::time_point deadline) : pipe_(pipe), deadline_(deadline) {}

  // The reply's "result"; nothing (and `whyNot` set) on an error, a closed pipe or the deadline.
  std::optional<Json> Call(const std::string& method, Json params, const std::string& session,
                           std::string& whyNot) {
    const auto waiter = devtools::ReplyWaiter::Create();
    if (!pipe_.Call(method, std::move(params), session, waiter->Handler())) {
      whyNot = "chromium closed its DevTools pipe";
      return std::nullopt;
    }
    const std::optional<Json> answer = waiter->WaitUntil(deadline_);
    if (!answer) {
      whyNot = "chromium did not answer " + method + " in time";
      return std::nullopt;
    }
    const Json& reply = *answer;
    if (reply.contains("error") || !reply.contains("result")) {
      const Json& error = reply.contains("error") ? reply.at("error") : Json::object();
      whyNot = "chromium refused " + method + ": " +
               (error.contains("message") && error.at("message").is_string() ? error.at("message").get<std::string>()
                                                                            : std::string("no result"));
      return std::nullopt;
    }
    return reply.at("result");
  }

 private:
  devtools::DevToolsPipe& pipe_;
  Clock::time_point deadline_;
};

std::string Text(const Json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The footer Chromium prints on every page; its classes are filled in by the browser.
constexpr const char* kFooter =
    "<div style=\"width:100%;padding:0 15mm;font-size:9pt;color:#6b7685;"
    "font-family:'Helvetica Neue',Helvetica,Arial,'Liberation Sans','DejaVu Sans',sans-serif;"
    "display:flex;justify-content:space-between\"><span>ZARN mastering report</span>"
    "<span>page <span class=\"pageNumber\"></span> of <span class=\"totalPages\"></span></span></div>";

std::optional<std::string> Print(devtools::DevToolsPipe& pipe, const std::string& html, Clock::time_point deadline,
                                 std::string& whyNot) {
  Conversation talk(pipe, deadline);
  const auto target = talk.Call("Target.createTarget", {{"url", "about:blank"}}, {}, whyNot);
  if (!target) return std::nullopt;
  const std::string targetId = Text(*target, "targetId");
  const auto attached =
      talk.Call("Target.attachToTarget", {{"targetId", targetId}, {"flatten", true}}, {}, whyNot);
  if (!attached) return std::nullopt;
  const std::string session = Text(*attached, "sessionId");
  if (!talk.Call("Page.enable", Json::object(), session, whyNot)) return std::nullopt;
  // The target's id is its main frame's.
  if (!talk.Call("Page.setDocumentContent", {{"frameId", targetId}, {"html", html}}, session, whyNot))
    return std::nullopt;
  // Laid out with the fonts it will print with.
  if (!talk.Call("Runtime.evaluate",
                 {{"expression", "document.fonts.ready.then(() => true)"}, {"awaitPromise", true}}, session,
                 whyNot))
    return std::nullopt;
  const auto printed = talk.Call("Page.printToPDF",
                                 {{"printBackground", true},
                                  {"preferCSSPageSize", true},
                                  {"paperWidth", kA4WidthInches},
                                  {"paperHeight", kA4HeightInches},
                                  {"displayHeaderFooter", true},
                                  {"headerTemplate", "<span></span>"},
                                  {"footerTemplate", kFooter}},
                                 session, whyNot);
  if (!printed) return std::nullopt;
  const auto bytes = Base64Decode(Text(*printed, "data"));
  if (!bytes || bytes->size() < 5 || std::string(bytes->begin(), bytes->begin() + 5) != "%PDF-") {
    whyNot = "chromium's printout is not a PDF";
    return std::nullopt;
  }
  return std::string(bytes->begin(), bytes->end());
}

// Blanks "/CreationDate (...)" and "/ModDate (...)" with spaces of the same length: the objects
// keep their offsets, and the file its bytes from one run to the next.
void RemoveDates(std::string& pdf) {
  for (const std::string key : {"/CreationDate (", "/ModDate ("}) {
    for (size_t at = pdf.find(key); at != std::string::npos; at = pdf.find(key, at)) {
      const size_t end = pdf.find(')', at);
      if (end == std::string::npos) break;
      pdf.replace(at, end + 1 - at, end + 1 - at, ' ');
    }
  }
}

}  // namespace

std::optional<std::string> PrintHtmlToPdf(const std::string& html, std::string& whyNot, const std::string& browser,
                                          std::chrono::seconds timeout) {
  const std::string binary = ChromiumProcess::Find(browser);
  if (binary.empty()) {
    whyNot = browser.empty() ? "no chromium found (install Debian's chromium package)"
                             : "no browser at " + browser;
    return std::nullopt;
  }
  auto profile = TemporaryFolder::Create("zarn-print-");
  if (!profile) {
    whyNot = "no temporary folder for chromium's profile";
    return std::nullopt;
  }
  ChromiumProcess process;
  const auto ends = process.Start(binary, BrowserArguments(profile->Path()));
  if (!ends) {
    whyNot = "chromium (" + binary + ") could not be started";
    return std::nullopt;
  }
  std::optional<std::string> pdf;
  {
    devtools::DevToolsPipe pipe(ends->fromBrowser, ends->toBrowser);
    if (!pipe.Start()) {
      whyNot = "no thread for chromium's DevTools pipe";
    } else {
      pdf = Print(pipe, html, Clock::now() + timeout, whyNot);
      pipe.Call("Browser.close");
    }
    pipe.Stop(kCloseFlush);
  }
  process.Terminate();
  profile->Remove();
  if (pdf) RemoveDates(*pdf);
  return pdf;
}
