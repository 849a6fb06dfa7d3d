// The Windows web view's page locator, page requests and cache folder, on Windows-style paths.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "editor/WebViewPaths.h"

namespace {

using web_view_paths::CachePath;
using web_view_paths::LocatePage;
using web_view_paths::RequestFor;

constexpr const char* kModule = "C:\\VST3\\ZARN.vst3\\Contents\\x86_64-win\\ZARN.vst3";

struct FakeDisk {
  std::set<std::string> files;
  std::vector<std::string> asked;
  bool operator()(const std::string& path) {
    asked.push_back(path);
    return files.count(path) > 0;
  }
};

TEST(WebViewPaths, TriesTheBundleResourcesFirstThenBesideTheModule) {
  FakeDisk disk;
  EXPECT_EQ(LocatePage(kModule, std::ref(disk)), "index.html");  // nothing found
  EXPECT_EQ(disk.asked, (std::vector<std::string>{
                            "C:\\VST3\\ZARN.vst3\\Contents\\Resources\\web\\index.html",
                            "C:\\VST3\\ZARN.vst3\\Contents\\x86_64-win\\Resources\\web\\index.html",
                            "C:\\VST3\\ZARN.vst3\\Contents\\x86_64-win\\web\\index.html"}));
}

TEST(WebViewPaths, TakesTheFirstCandidateThatExists) {
  FakeDisk disk;
  disk.files = {"C:\\VST3\\ZARN.vst3\\Contents\\Resources\\web\\index.html",
                "C:\\VST3\\ZARN.vst3\\Contents\\x86_64-win\\web\\index.html"};
  EXPECT_EQ(LocatePage(kModule, std::ref(disk)),
            "C:\\VST3\\ZARN.vst3\\Contents\\Resources\\web\\index.html");
  EXPECT_EQ(disk.asked.size(), 1u);

  disk.files.erase(disk.files.begin());
  disk.asked.clear();
  EXPECT_EQ(LocatePage(kModule, std::ref(disk)),
            "C:\\VST3\\ZARN.vst3\\Contents\\x86_64-win\\web\\index.html");
}

TEST(WebViewPaths, ModuleWithoutFolderLooksInRelativeFolders) {
  FakeDisk disk;
  LocatePage("ZARN.vst3", std::ref(disk));
  EXPECT_EQ(disk.asked, (std::vector<std::string>{"Resources\\web\\index.html",
                                                  "Resources\\web\\index.html", "web\\index.html"}));
}

TEST(WebViewPaths, RequestMapsTheFolderAndNavigatesToTheFile) {
  const auto request = RequestFor("C:\\VST3\\Contents\\Resources\\web\\index.html");
  EXPECT_EQ(request.folder, "C:\\VST3\\Contents\\Resources\\web");
  EXPECT_EQ(request.url, "https://zarn.editor/index.html");

  const auto mixed = RequestFor("D:/pages\\editor/main.html");
  EXPECT_EQ(mixed.folder, "D:/pages\\editor");
  EXPECT_EQ(mixed.url, "https://zarn.editor/main.html");
}

TEST(WebViewPaths, RequestWithoutAFolder) {
  const auto bare = RequestFor("index.html");
  EXPECT_EQ(bare.folder, "");
  EXPECT_EQ(bare.url, "https://zarn.editor/index.html");
  // A separator at the very start leaves no folder, but still ends the file name.
  const auto rooted = RequestFor("\\index.html");
  EXPECT_EQ(rooted.folder, "");
  EXPECT_EQ(rooted.url, "https://zarn.editor/index.html");
}

TEST(WebViewPaths, UrlIsCutTo2048Characters) {
  const std::string longName(3000, 'a');
  const auto request = RequestFor("C:\\web\\" + longName);
  EXPECT_EQ(request.url.size(), web_view_paths::kMaxUrlLength);
  EXPECT_EQ(request.url.substr(0, 20), "https://zarn.editor/");
}

TEST(WebViewPaths, CacheLivesUnderTheApplicationDataFolder) {
  EXPECT_EQ(CachePath("C:\\Users\\Ana\\AppData\\Roaming"),
            "C:\\Users\\Ana\\AppData\\Roaming\\ZARN\\WebViewCache");
}

}  // namespace
