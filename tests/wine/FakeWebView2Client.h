#pragma once

#include <string>
#include <vector>

#include "fake_webview2/FakeWebView2.h"

// The test bundle's fake WebView2 loader, as a test drives it. The test loads it first, from the
// file the module loads later, so that both share one instance of it.
class FakeWebView2Client {
 public:
  static FakeWebView2Client& Get();  // loaded on first use

  bool Loaded() const { return recordCount_ && record_; }
  const std::string& Path() const { return path_; }

  // The number of calls recorded so far: a mark to read the later ones from.
  int Mark() const;
  std::vector<std::string> Records(int from = 0) const;

  void SetFailures(unsigned failures) const;
  bool CompleteNavigation(bool success) const;
  bool ReceiveWebMessage(const std::wstring& json) const;
  bool RequestNewWindow(const std::wstring& uri) const;
  bool StartDownload() const;

 private:
  explicit FakeWebView2Client(std::string path);

  std::string path_;
  fake_webview2::RecordCountFunction recordCount_ = nullptr;
  fake_webview2::RecordFunction record_ = nullptr;
  fake_webview2::SetFailuresFunction setFailures_ = nullptr;
  fake_webview2::CompleteNavigationFunction completeNavigation_ = nullptr;
  fake_webview2::ReceiveWebMessageFunction receiveWebMessage_ = nullptr;
  fake_webview2::RequestNewWindowFunction requestNewWindow_ = nullptr;
  fake_webview2::StartDownloadFunction startDownload_ = nullptr;
};
