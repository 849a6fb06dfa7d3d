// The standalone editor's command line: where it finds the page and what it refuses.
#ifdef ZARN_HAVE_APP
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/EditorCommand.h"
#include "app/audio/UserError.h"
#include "support/ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& path) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "<!doctype html>";
}

TEST(EditorCommand, PrefersTheBundlesPageBesideTheProgram) {
  ScratchDirectory dir;
  const fs::path root = dir.File("tree");
  Touch(root / "build/ZARN.vst3/Contents/Resources/web/index.html");
  Touch(root / "Resources/web/index.html");
  const std::string program = (root / "build/zarn").string();
  EXPECT_EQ(FindEditorPage(program),
            fs::weakly_canonical(root / "build/ZARN.vst3/Contents/Resources/web/index.html").string());
  fs::remove_all(root / "build/ZARN.vst3");
  EXPECT_EQ(FindEditorPage(program), fs::weakly_canonical(root / "Resources/web/index.html").string());
}

TEST(EditorCommand, RefusesBadArgumentsBeforeStartingAnything) {
  std::ostringstream out;
  EXPECT_THROW(RunEditorCommand({}, out), UserError);
  EXPECT_THROW(RunEditorCommand({"a.wav", "b.wav"}, out), UserError);
  EXPECT_THROW(RunEditorCommand({"a.wav", "--seconds", "-1"}, out), UserError);
  EXPECT_THROW(RunEditorCommand({"a.wav", "--nope"}, out), UserError);
  for (const char* size : {"479x201", "480x200", "4321x600", "1440", "1440x604x2", "wide", "1440x"})
    EXPECT_THROW(RunEditorCommand({"a.wav", "--size", size}, out), UserError) << size;
  for (const char* scale : {"0", "-1", "5", "nan", "x"})
    EXPECT_THROW(RunEditorCommand({"a.wav", "--scale", scale}, out), UserError) << scale;
  EXPECT_THROW(RunEditorCommand({"a.wav", "--screenshot-at", "-0.5"}, out), UserError);
  EXPECT_THROW(RunEditorCommand({"a.wav", "--screenshot-at"}, out), UserError);
  // Good sizes, scales and times pass the options and fail only at the missing file.
  try {
    RunEditorCommand({"/nonexistent/in.wav", "--size", "4320x1812", "--scale", "2", "--screenshot-at", "0"}, out);
    ADD_FAILURE() << "a missing file must be refused";
  } catch (const UserError& error) {
    EXPECT_NE(std::string(error.what()).find("/nonexistent/in.wav"), std::string::npos) << error.what();
  }
  EXPECT_THROW(RunEditorCommand({"/nonexistent/in.wav", "--headless"}, out), UserError);
}

}  // namespace
#endif
