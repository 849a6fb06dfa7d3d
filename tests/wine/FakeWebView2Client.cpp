#include "FakeWebView2Client.h"

#include <utility>

#include "support/ModuleLibrary.h"

namespace {

template <class Function>
void Find(void* library, const char* name, Function& function) {
  function = library ? reinterpret_cast<Function>(testhost::FindSymbol(library, name)) : nullptr;
}

}  // namespace

FakeWebView2Client& FakeWebView2Client::Get() {
  static FakeWebView2Client client(ZARN_FAKE_WEBVIEW2);
  return client;
}

FakeWebView2Client::FakeWebView2Client(std::string path) : path_(std::move(path)) {
  void* library = testhost::OpenLibrary(path_);
  Find(library, fake_webview2::kRecordCount, recordCount_);
  Find(library, fake_webview2::kRecord, record_);
  Find(library, fake_webview2::kSetFailures, setFailures_);
  Find(library, fake_webview2::kCompleteNavigation, completeNavigation_);
  Find(library, fake_webview2::kReceiveWebMessage, receiveWebMessage_);
  Find(library, fake_webview2::kRequestNewWindow, requestNewWindow_);
  Find(library, fake_webview2::kStartDownload, startDownload_);
}

int FakeWebView2Client::Mark() const { return recordCount_ ? recordCount_() : 0; }

std::vector<std::string> FakeWebView2Client::Records(int from) const {
  std::vector<std::string> records;
  for (int i = from; i < Mark(); ++i) records.emplace_back(record_(i));
  return records;
}

void FakeWebView2Client::SetFailures(unsigned failures) const {
  if (setFailures_) setFailures_(failures);
}

bool FakeWebView2Client::CompleteNavigation(bool success) const {
  return completeNavigation_ && completeNavigation_(success ? TRUE : FALSE);
}

bool FakeWebView2Client::ReceiveWebMessage(const std::wstring& json) const {
  return receiveWebMessage_ && receiveWebMessage_(json.c_str());
}

bool FakeWebView2Client::RequestNewWindow(const std::wstring& uri) const {
  return requestNewWindow_ && requestNewWindow_(uri.c_str());
}

bool FakeWebView2Client::StartDownload() const { return startDownload_ && startDownload_(); }
