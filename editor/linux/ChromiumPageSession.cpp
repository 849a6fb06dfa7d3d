#include "editor/linux/ChromiumPageSession.h"

#include <memory>
#include <utility>
#include <vector>

#include "editor/Base64.h"
#include "editor/PageInput.h"
#include "editor/linux/BridgeScripts.h"

using devtools::Json;

namespace {

constexpr const char* kObjectGroup = "zarn-scripts";

const Json& Member(const Json& object, const char* key) {
  static const Json kNone = Json::object();
  const auto it = object.find(key);
  return it != object.end() ? *it : kNone;
}

std::string Text(const Json& object, const char* key) {
  const Json& value = Member(object, key);
  return value.is_string() ? value.get<std::string>() : std::string();
}

int Integer(const Json& object, const char* key) {
  const Json& value = Member(object, key);
  return value.is_number_integer() ? value.get<int>() : 0;
}

bool IsError(const Json& reply) { return reply.contains("error"); }

}  // namespace

ChromiumPageSession::ChromiumPageSession(devtools::DevToolsPipe& pipe, PageServer server,
                                         std::string pageUrl, Viewport viewport, Events events)
    : pipe_(pipe),
      server_(std::move(server)),
      pageUrl_(std::move(pageUrl)),
      viewport_(viewport),
      events_(std::move(events)) {}

void ChromiumPageSession::Begin() {
  pipe_.Call("Browser.setDownloadBehavior", {{"behavior", "deny"}});
  // Every new target waits for us: our page gets its bridge before any script runs, and any other
  // window is closed before it loads anything.
  const Json autoAttach = {{"autoAttach", true}, {"waitForDebuggerOnStart", true}, {"flatten", true}};
  pipe_.Call("Target.setAutoAttach", autoAttach, {}, [this](const Json& reply) {
    // Existing targets are attached before this reply; a browser without a tab gets one.
    if (!IsError(reply) && pageSession_.empty())
      pipe_.Call("Target.createTarget", {{"url", "about:blank"}});
  });
}

void ChromiumPageSession::HandleEvent(const std::string& method, const Json& params,
                                      const std::string& sessionId) {
  if (sessionId.empty()) {
    if (method == "Target.attachedToTarget") OnAttached(params);
    if (method == "Target.detachedFromTarget") OnDetached(Text(params, "sessionId"));
    return;
  }
  if (sessionId != pageSession_) return;
  if (method == "Fetch.requestPaused") return OnRequestPaused(params);
  if (method == "Runtime.bindingCalled") return OnBindingCalled(params);
  if (method == "Runtime.executionContextCreated") return OnContextCreated(Member(params, "context"));
  if (method == "Runtime.executionContextDestroyed")
    return OnContextDestroyed(Integer(params, "executionContextId"));
  if (method == "Runtime.executionContextsCleared" || method == "Inspector.targetCrashed") {
    // A crashed renderer leaves no page until the next (re)load.
    contextOrigins_.clear();
    mainContext_ = 0;
    if (method == "Inspector.targetCrashed") pageIsOurs_ = false;
    return;
  }
  OnPageEvent(method, params);
}

void ChromiumPageSession::OnAttached(const Json& params) {
  const std::string sessionId = Text(params, "sessionId");
  const Json& target = Member(params, "targetInfo");
  const std::string type = Text(target, "type");
  const std::string targetId = Text(target, "targetId");
  if (type == "page" && pageSession_.empty() && !target.contains("openerId"))
    return SetUpPage(sessionId, targetId);
  if (type == "page") {
    // A second window (window.open, a target=_blank link): never shown. Its address reached us
    // through Page.windowOpen.
    pipe_.Call("Target.closeTarget", {{"targetId", targetId}});
    return;
  }
  // Browser UI, workers: not ours to drive.
  pipe_.Call("Runtime.runIfWaitingForDebugger", Json::object(), sessionId);
  pipe_.Call("Target.detachFromTarget", {{"sessionId", sessionId}});
}

void ChromiumPageSession::SetUpPage(const std::string& sessionId, const std::string& targetId) {
  pageSession_ = sessionId;
  pageTarget_ = targetId;
  Json requestPattern = Json::object({{"urlPattern", "*"}, {"requestStage", "Request"}});
  std::vector<std::pair<std::string, Json>> commands = {
      {"Page.enable", Json::object()},
      {"Runtime.enable", Json::object()},
      {"Fetch.enable", {{"patterns", Json::array({requestPattern})}}},
      {"Runtime.addBinding", {{"name", bridge_scripts::kBindingName}}},
  };
  for (const std::string& script : bridge_scripts::All())
    commands.emplace_back("Page.addScriptToEvaluateOnNewDocument", Json{{"source", script}});
  commands.emplace_back("Runtime.runIfWaitingForDebugger", Json::object());

  // The page is requested only once every one of these has been answered: replies to different
  // domains may come back out of order, and the first document must already get the bridge.
  struct Progress {
    size_t left;
    bool failed = false;
  };
  auto progress = std::make_shared<Progress>(Progress{commands.size()});
  for (auto& [method, params] : commands) {
    const bool sent = pipe_.Call(method, std::move(params), sessionId, [this, progress](const Json& reply) {
      progress->failed = progress->failed || IsError(reply);
      if (--progress->left > 0) return;
      if (progress->failed) {
        if (events_.pageGone) events_.pageGone();
        return;
      }
      ready_ = true;
      ApplyViewport();
      pipe_.Call("Page.navigate", {{"url", pageUrl_}}, pageSession_);
    });
    if (!sent) return;
  }
}

void ChromiumPageSession::OnDetached(const std::string& sessionId) {
  if (sessionId.empty() || sessionId != pageSession_) return;
  pageSession_.clear();
  ready_ = false;
  mainContext_ = 0;
  pageIsOurs_ = false;
  contextOrigins_.clear();
  if (events_.pageGone) events_.pageGone();
}

// Every request of the page stops here: files of the page folder are answered from disk, a
// navigation elsewhere is answered with "no content" (the page stays; an http(s) link goes to the
// user's browser), anything else is blocked. Nothing reaches the network.
void ChromiumPageSession::OnRequestPaused(const Json& params) {
  const std::string requestId = Text(params, "requestId");
  const Json& request = Member(params, "request");
  const std::string url = Text(request, "url");
  const std::string method = Text(request, "method");
  const bool isDocument = Text(params, "resourceType") == "Document";
  const bool isMainFrame = Text(params, "frameId") == pageTarget_;

  if (PageServer::IsOwnUrl(url)) {
    PageServer::Response response = server_.Answer(method, url);
    if (isDocument && isMainFrame) documentServed_ = response.status == 200;
    if (response.status != 200) {
      response.contentType = "text/plain; charset=utf-8";
      response.body = response.status == 405 ? "Method not allowed" : "Not found";
    }
    return Fulfill(requestId, response.status, response.contentType, response.body);
  }
  if (isDocument) {
    if (isMainFrame && method == "GET" && page_input::IsOpenableLink(url) && events_.openLink)
      events_.openLink(url);
    return Fulfill(requestId, 204, {}, {});
  }
  pipe_.Call("Fetch.failRequest", {{"requestId", requestId}, {"errorReason", "BlockedByClient"}},
             pageSession_);
}

void ChromiumPageSession::Fulfill(const std::string& requestId, int status,
                                  const std::string& contentType, const std::string& body) {
  Json headers = Json::array();
  if (!contentType.empty()) headers.push_back({{"name", "Content-Type"}, {"value", contentType}});
  headers.push_back({{"name", "Cache-Control"}, {"value", "no-store"}});
  headers.push_back({{"name", "X-Content-Type-Options"}, {"value", "nosniff"}});
  const bool queued = pipe_.Call("Fetch.fulfillRequest",
                                 {{"requestId", requestId},
                                  {"responseCode", status},
                                  {"responseHeaders", std::move(headers)},
                                  {"body", Base64Encode(body.data(), body.size())}},
                                 pageSession_);
  // A request left unanswered would stall the page.
  if (!queued)
    pipe_.Call("Fetch.failRequest", {{"requestId", requestId}, {"errorReason", "Failed"}}, pageSession_);
}

void ChromiumPageSession::OnPageEvent(const std::string& method, const Json& params) {
  if (method == "Page.frameNavigated") {
    const Json& frame = Member(params, "frame");
    if (Text(frame, "id") == pageTarget_ && !frame.contains("parentId"))
      pageIsOurs_ = documentServed_ && PageServer::IsOwnUrl(Text(frame, "url"));
  } else if (method == "Page.loadEventFired") {
    if (pageIsOurs_ && events_.pageLoaded) events_.pageLoaded();
  } else if (method == "Page.windowOpen") {
    OnWindowOpen(params);
  } else if (method == "Page.javascriptDialogOpening" && viewport_.headless) {
    // Nobody could answer it, and an open dialog stops the page's scripts.
    pipe_.Call("Page.handleJavaScriptDialog", {{"accept", true}}, pageSession_);
  }
}

void ChromiumPageSession::OnWindowOpen(const Json& params) {
  const std::string url = Text(params, "url");
  if (page_input::IsOpenableLink(url) && !PageServer::IsOwnUrl(url) && events_.openLink)
    events_.openLink(url);
}

void ChromiumPageSession::OnContextCreated(const Json& context) {
  const int id = Integer(context, "id");
  const std::string origin = Text(context, "origin");
  contextOrigins_[id] = origin;
  const Json& aux = Member(context, "auxData");
  const bool isDefault = Member(aux, "isDefault").is_boolean() && Member(aux, "isDefault").get<bool>();
  if (isDefault && Text(aux, "frameId") == pageTarget_)
    mainContext_ = origin == PageServer::kOrigin ? id : 0;
}

void ChromiumPageSession::OnContextDestroyed(int id) {
  contextOrigins_.erase(id);
  if (id == mainContext_) mainContext_ = 0;
}

// Only documents of our origin may talk to the plug-in: should anything else ever be shown, its
// messages are dropped here.
void ChromiumPageSession::OnBindingCalled(const Json& params) {
  if (Text(params, "name") != bridge_scripts::kBindingName) return;
  const auto context = contextOrigins_.find(Integer(params, "executionContextId"));
  if (context == contextOrigins_.end() || context->second != PageServer::kOrigin) return;
  const Json& payload = Member(params, "payload");
  if (payload.is_string() && events_.pageMessage) events_.pageMessage(payload.get<std::string>());
}

void ChromiumPageSession::Evaluate(const std::string& script) {
  if (!ready_ || mainContext_ == 0) return;
  pipe_.Call("Runtime.evaluate",
             {{"expression", script},
              {"contextId", mainContext_},
              {"objectGroup", kObjectGroup},
              {"silent", true}},
             pageSession_);
  // Results are not wanted; releasing them keeps the page from holding every returned object.
  pipe_.Call("Runtime.releaseObjectGroup", {{"objectGroup", kObjectGroup}}, pageSession_);
}

void ChromiumPageSession::Reload() {
  if (ready_) pipe_.Call("Page.reload", {{"ignoreCache", true}}, pageSession_);
}

void ChromiumPageSession::Resize(int width, int height) {
  if (width <= 0 || height <= 0) return;
  viewport_.width = width;
  viewport_.height = height;
  if (ready_) ApplyViewport();
}

void ChromiumPageSession::ApplyViewport() {
  if (viewport_.width <= 0 || viewport_.height <= 0) return;
  if (viewport_.headless) {
    pipe_.Call("Emulation.setDeviceMetricsOverride",
               {{"width", viewport_.width},
                {"height", viewport_.height},
                {"deviceScaleFactor", viewport_.deviceScale},
                {"mobile", false}},
               pageSession_);
    return;
  }
  // The window gets whatever size makes its page area the size asked for; a browser too old to
  // size the contents sizes the whole window instead.
  const int width = viewport_.width, height = viewport_.height;
  pipe_.Call("Browser.getWindowForTarget", {{"targetId", pageTarget_}}, {}, [this, width, height](const Json& reply) {
    const Json windowId = Member(Member(reply, "result"), "windowId");
    if (!windowId.is_number_integer()) return;
    pipe_.Call("Browser.setContentsSize", {{"windowId", windowId}, {"width", width}, {"height", height}}, {},
               [this, windowId, width, height](const Json& resized) {
                 if (IsError(resized))
                   pipe_.Call("Browser.setWindowBounds",
                              {{"windowId", windowId}, {"bounds", {{"width", width}, {"height", height}}}});
               });
  });
}

bool ChromiumPageSession::SendToPage(const std::string& method, Json params,
                                     devtools::DevToolsPipe::ReplyHandler onReply) {
  if (!ready_) return false;
  return pipe_.Call(method, std::move(params), pageSession_, std::move(onReply));
}
