// Which addresses map to which files of the page folder, and what is refused.
#if defined(__linux__)

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "editor/linux/PageServer.h"
#include "support/ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;

void Write(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

TEST(PageServer, AddressesMapToPlainPathsInsideTheFolder) {
  EXPECT_EQ(PageServer::RelativePath("https://zarn.editor/index.html"), "index.html");
  EXPECT_EQ(PageServer::RelativePath("https://zarn.editor/"), "index.html");
  EXPECT_EQ(PageServer::RelativePath("https://zarn.editor/js/app.js?v=3#top"), "js/app.js");
  EXPECT_EQ(PageServer::RelativePath("https://zarn.editor/my%20file.css"), "my file.css");

  for (const char* refused : {
           "https://zarn.editor",                  // no path at all
           "https://zarn.editor.example.com/a.js",  // another host that starts like ours
           "https://zarn.editorx/a.js", "http://zarn.editor/a.js", "https://zarn.editor:8443/a.js",
           "https://other.host/index.html", "file:///etc/passwd",
           "https://zarn.editor/../etc/passwd", "https://zarn.editor/a/../../etc/passwd",
           "https://zarn.editor/%2e%2e/etc/passwd", "https://zarn.editor/..%2f..%2fetc%2fpasswd",
           "https://zarn.editor/%2fetc%2fpasswd", "https://zarn.editor/a//b.js", "https://zarn.editor/./a.js",
           "https://zarn.editor/dir/", "https://zarn.editor/a%5c..%5cb", "https://zarn.editor/a%00.js",
           "https://zarn.editor/a%0a.js", "https://zarn.editor/bad%G1", "https://zarn.editor/cut%4"})
    EXPECT_EQ(PageServer::RelativePath(refused), std::nullopt) << refused;
}

TEST(PageServer, AnswersWithTheFileAndItsType) {
  ScratchDirectory scratch;
  const std::string page = scratch.File("web");
  Write(page + "/index.html", "<html></html>");
  Write(page + "/js/app.js", "let a = 1;");
  Write(scratch.File("secret.txt"), "outside");
  fs::create_directory(page + "/folder");
  fs::create_symlink(scratch.File("secret.txt"), page + "/escape.txt");
  fs::create_symlink(page + "/js/app.js", page + "/alias.js");

  const PageServer server(page);
  const auto index = server.Answer("GET", "https://zarn.editor/index.html");
  EXPECT_EQ(index.status, 200);
  EXPECT_EQ(index.contentType, "text/html; charset=utf-8");
  EXPECT_EQ(index.body, "<html></html>");
  EXPECT_EQ(server.Answer("GET", "https://zarn.editor/js/app.js").body, "let a = 1;");
  EXPECT_EQ(server.Answer("GET", "https://zarn.editor/alias.js").status, 200);  // link inside

  const auto head = server.Answer("HEAD", "https://zarn.editor/index.html");
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.body, "");
  EXPECT_EQ(server.Answer("POST", "https://zarn.editor/index.html").status, 405);

  for (const char* missing : {"https://zarn.editor/nothing.js", "https://zarn.editor/folder",
                              "https://zarn.editor/escape.txt", "https://zarn.editor/..%2fsecret.txt",
                              "https://other.host/index.html"}) {
    const auto answer = server.Answer("GET", missing);
    EXPECT_EQ(answer.status, 404) << missing;
    EXPECT_EQ(answer.body, "") << missing;
  }
  EXPECT_EQ(PageServer(scratch.File("no-such-folder")).Answer("GET", "https://zarn.editor/index.html").status, 404);
}

TEST(PageServer, ContentTypesAndAddresses) {
  EXPECT_EQ(PageServer::ContentTypeOf("a.HTM"), "text/html; charset=utf-8");
  EXPECT_EQ(PageServer::ContentTypeOf("a.mjs"), "text/javascript; charset=utf-8");
  EXPECT_EQ(PageServer::ContentTypeOf("a.css"), "text/css; charset=utf-8");
  EXPECT_EQ(PageServer::ContentTypeOf("a.svg"), "image/svg+xml");
  EXPECT_EQ(PageServer::ContentTypeOf("a.woff2"), "font/woff2");
  EXPECT_EQ(PageServer::ContentTypeOf("a.wasm"), "application/wasm");
  EXPECT_EQ(PageServer::ContentTypeOf("Makefile"), "application/octet-stream");
  EXPECT_EQ(PageServer::ContentTypeOf("a.exe"), "application/octet-stream");

  EXPECT_EQ(PageServer::UrlOf("index.html"), "https://zarn.editor/index.html");
  EXPECT_EQ(PageServer::UrlOf("my page#1.html"), "https://zarn.editor/my%20page%231.html");
  EXPECT_EQ(PageServer::RelativePath(PageServer::UrlOf("my page#1.html")), "my page#1.html");
}

}  // namespace

#endif  // __linux__
