#include "core/catalogue/singlefile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/platform.h"
#include "base/errorbox.h"
#include "support/core_support.h"

namespace fs = std::filesystem;

namespace {

// Records the launches; programs and documents named in `failing` fail.
class Launches {
 public:
  Launches() {
    platform::SetLaunchHook([this](const std::string& file, const std::string& params) {
      calls.push_back({file, params});
      for (const std::string& f : failing)
        if (f == file) return 31;
      return 42;
    });
  }
  ~Launches() { platform::SetLaunchHook(nullptr); }
  Launches(const Launches&) = delete;
  Launches& operator=(const Launches&) = delete;

  std::vector<std::pair<std::string, std::string>> calls;
  std::vector<std::string> failing;
};

using Call = std::pair<std::string, std::string>;

TEST(ShowTextFile, RunnableFilesAreOnlyShownAsText) {
  vktest::TempDir dir;
  vktest::WriteFile(dir / "x.bat", "@echo off\r\n");
  vktest::WriteFile(dir / "run.SH", "echo hi\n");
  vktest::WriteFile(dir / "app.desktop", "[Desktop Entry]\n");
  vktest::WriteFile(dir / "tool", "#!/bin/sh\necho hi\n");
  vktest::WriteFile(dir / "prog.dat", std::string("\x7F"
                                                  "ELF\x02\x01",
                                                  6));
  vktest::WriteFile(dir / "skript.txt", "echo hi\n");
  fs::permissions(dir / "skript.txt", fs::perms::owner_exec, fs::perm_options::add);

  vktest::ScriptedUi ui;
  Launches launches;
  for (const char* name : {"x.bat", "run.SH", "app.desktop", "tool", "prog.dat", "skript.txt"}) {
    launches.calls.clear();
    ShowTextFile(dir / name);
    EXPECT_EQ(launches.calls, (std::vector<Call>{{"notepad.exe", dir / name}})) << name;
  }
  EXPECT_TRUE(ui.boxes.empty());

  // When even the text viewer fails, the user is told.
  launches.failing = {"notepad.exe"};
  ShowTextFile(dir / "x.bat");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "\r" + (dir / "x.bat") + "\rkonnte nicht geöffnet werden!");
}

TEST(ShowTextFile, DocumentsOpenByAssociationWithFallbacks) {
  vktest::TempDir dir;
  const std::string doc = dir / "Bericht Büro.log";
  vktest::WriteFile(doc, "Protokoll\r\n");
  vktest::WriteFile(dir / "brief.rtf", "{\\rtf1}");

  vktest::ScriptedUi ui;
  Launches launches;
  ShowTextFile(doc);
  EXPECT_EQ(launches.calls, (std::vector<Call>{{doc, ""}}));

  launches.calls.clear();
  ShowTextFile(dir / "brief.rtf");
  EXPECT_EQ(launches.calls, (std::vector<Call>{{"wordpad.exe", dir / "brief.rtf"}}));

  // No associated program: the text viewer, without a message.
  launches.calls.clear();
  launches.failing = {doc};
  ShowTextFile(doc);
  EXPECT_EQ(launches.calls, (std::vector<Call>{{doc, ""}, {"notepad.exe", doc}}));
  EXPECT_TRUE(ui.boxes.empty());

  // Both fail: the information box with beep, with its leading line break.
  launches.failing = {doc, "notepad.exe"};
  ShowTextFile(doc);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, "info");
  EXPECT_TRUE(ui.boxes[0].beep);
  EXPECT_EQ(ui.beeps, 1);
  EXPECT_EQ(ui.boxes[0].text, "\r" + doc + "\rkonnte nicht geöffnet werden!");
}

TEST(ShowTextFile, WebAddressesGoToTheBrowser) {
  vktest::ScriptedUi ui;
  Launches launches;
  ShowTextFile("https://www.example.org/start.sh");
  EXPECT_EQ(launches.calls, (std::vector<Call>{{"https://www.example.org/start.sh", ""}}));
  EXPECT_TRUE(ui.boxes.empty());
}

class CopyOne : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::SetFaultHook(nullptr);
    CopyTargetName.clear();
  }
  // Names of the files in a folder.
  std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  vktest::TempDir dir_;
};

TEST_F(CopyOne, FolderDestinationGetsTheSourceNameAndIsCreated) {
  vktest::WriteFile(dir_ / "src/Brief.txt", "Inhalt");
  ASSERT_EQ(CopyOneFile(dir_ / "src/Brief.txt", dir_ / "Sich/Daten/", true, true), 0);
  EXPECT_EQ(vktest::ReadFile(dir_ / "Sich/Daten/Brief.txt"), "Inhalt");
  EXPECT_EQ(CopyTargetName, "");

  ASSERT_EQ(CopyOneFile(dir_ / "src/Brief.txt", dir_ / "Sich/neu/Kopie.txt", true, true), 0);
  EXPECT_EQ(vktest::ReadFile(dir_ / "Sich/neu/Kopie.txt"), "Inhalt");
}

TEST_F(CopyOne, ReadOnlyDestination) {
  vktest::WriteFile(dir_ / "Brief.txt", "neu");
  vktest::WriteFile(dir_ / "ziel/Brief.txt", "alt");
  ASSERT_TRUE(platform::MakeReadOnly(dir_ / "ziel/Brief.txt"));

  EXPECT_EQ(CopyOneFile(dir_ / "Brief.txt", dir_ / "ziel/Brief.txt", true, false), 19);
  EXPECT_EQ(vktest::ReadFile(dir_ / "ziel/Brief.txt"), "alt");
  EXPECT_EQ(CopyTargetName, (dir_ / "ziel/Brief.txt") + " ");

  // Both flags: replaced, and the copy carries the source's permissions.
  ASSERT_EQ(CopyOneFile(dir_ / "Brief.txt", dir_ / "ziel/Brief.txt", true, true), 0);
  EXPECT_EQ(vktest::ReadFile(dir_ / "ziel/Brief.txt"), "neu");
  EXPECT_FALSE(platform::HasAttributes(dir_ / "ziel/Brief.txt", platform::kAttrReadOnly));
  EXPECT_EQ(CopyTargetName, "");
}

TEST_F(CopyOne, FailuresKeepTheOldCopyAndTheName) {
  vktest::WriteFile(dir_ / "a.txt", "neuer Inhalt");
  vktest::WriteFile(dir_ / "ziel/a.txt", "alter Inhalt");

  EXPECT_EQ(CopyOneFile(dir_ / "a.txt", dir_ / "ziel/a.txt", false, true), 80);
  EXPECT_EQ(CopyTargetName, (dir_ / "ziel/a.txt") + " ");

  // Full disk in the middle of the copy.
  platform::SetFaultHook([](const std::string& op, const std::string&) {
    return op == "copy-write" ? 28 /* ENOSPC */ : 0;
  });
  EXPECT_EQ(CopyOneFile(dir_ / "a.txt", dir_ / "ziel/a.txt", true, true), 112);
  EXPECT_EQ(vktest::ReadFile(dir_ / "ziel/a.txt"), "alter Inhalt");
  EXPECT_EQ(Names(dir_ / "ziel"), (std::vector<std::string>{"a.txt"}));

  // Access denied (injected: the tests may run as root).
  platform::SetFaultHook([](const std::string& op, const std::string&) {
    return op == "copy-open-source" ? 13 /* EACCES */ : 0;
  });
  EXPECT_EQ(CopyOneFile(dir_ / "a.txt", dir_ / "ziel/a.txt", true, true), 5);
  EXPECT_EQ(vktest::ReadFile(dir_ / "ziel/a.txt"), "alter Inhalt");
  EXPECT_EQ(CopyTargetName, (dir_ / "ziel/a.txt") + " ");

  // The destination folder cannot be made.
  platform::SetFaultHook(
      [](const std::string& op, const std::string&) { return op == "create-dir" ? 13 : 0; });
  CopyTargetName = "vorher ";
  EXPECT_EQ(CopyOneFile(dir_ / "a.txt", dir_ / "gibtsnicht/a.txt", true, true), 267);
  EXPECT_EQ(CopyTargetName, "vorher ");
  EXPECT_FALSE(vktest::Exists(dir_ / "gibtsnicht"));

  platform::SetFaultHook(nullptr);
  EXPECT_EQ(CopyOneFile(dir_ / "fehlt.txt", dir_ / "ziel/b.txt", true, true), 2);
  EXPECT_EQ(CopyTargetName, (dir_ / "ziel/b.txt") + " ");
}

TEST_F(CopyOne, TheRootIsNeverCreatedAndLongPathsAreNoLimit) {
  int rootCreations = 0;
  platform::SetFaultHook([&](const std::string& op, const std::string& path) {
    if (op == "create-dir" && (path == "/" || path.empty())) ++rootCreations;
    // Nothing is ever written into the real root.
    return op == "copy-open-source" ? 13 : 0;
  });
  vktest::WriteFile(dir_ / "a.txt", "x");
  EXPECT_EQ(CopyOneFile(dir_ / "a.txt", "/vk-copyone-test", true, true), 5);
  EXPECT_EQ(CopyOneFile(dir_ / "a.txt", "/", true, true), 5);
  EXPECT_EQ(rootCreations, 0);
  platform::SetFaultHook(nullptr);

  std::string deep = dir_.path();
  for (int i = 0; i < 12; ++i) deep += std::string(30, static_cast<char>('a' + i)) + "/";
  ASSERT_GT(deep.size(), 300u);
  ASSERT_EQ(CopyOneFile(dir_ / "a.txt", deep, true, true), 0);
  EXPECT_EQ(vktest::ReadFile(deep + "a.txt"), "x");
}

}  // namespace

TEST_F(CopyOne, AFolderRemovedOrMadeAnewBetweenCopiesIsFollowed) {
  vktest::WriteFile(dir_ / "a.txt", "eins");
  vktest::WriteFile(dir_ / "b.txt", "zwei");
  ASSERT_EQ(CopyOneFile(dir_ / "a.txt", dir_ / "Sich/", true, true), 0);
  // The folder goes away: the next copy into it makes it again.
  std::filesystem::remove_all(dir_ / "Sich");
  ASSERT_EQ(CopyOneFile(dir_ / "b.txt", dir_ / "Sich/", true, true), 0);
  EXPECT_EQ(vktest::ReadFile(dir_ / "Sich/b.txt"), "zwei");
  // Renamed away and made anew: the copy lands in the new folder.
  std::filesystem::rename(dir_ / "Sich", dir_ / "Alt");
  std::filesystem::create_directory(dir_ / "Sich");
  ASSERT_EQ(CopyOneFile(dir_ / "a.txt", dir_ / "Sich/", true, true), 0);
  EXPECT_EQ(vktest::ReadFile(dir_ / "Sich/a.txt"), "eins");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "Alt/a.txt"));
}

// With a target root, a copy makes only the folders below it, open to
// their owner only; a root that has gone (before the first copy, or after
// copies into it) is never made again where its parent still is.
TEST_F(CopyOne, ACopyBelowATargetRootNeverMakesTheRootAgain) {
  vktest::WriteFile(dir_ / "a.txt", "eins");
  const std::string root = dir_ / "Laufwerk/Sich/";
  struct Case {
    const char* what;
    bool copiedBefore;  // a copy went into the folder while the root was there
    bool rootThere;
    int result;
  };
  for (const Case& c : {Case{"folders below the root are made", false, true, 0},
                        Case{"the root is gone before the first copy", false, false, 267},
                        Case{"the root goes after a copy into it", true, false, 267}}) {
    fs::remove_all(dir_ / "Laufwerk");
    fs::create_directories(root);
    if (c.copiedBefore) {
      ASSERT_EQ(0, CopyOneFile(dir_ / "a.txt", root + "a/b/", true, true, {}, root));
    }
    if (!c.rootThere) fs::remove_all(root);
    EXPECT_EQ(c.result, CopyOneFile(dir_ / "a.txt", root + "a/b/", true, true, {}, root)) << c.what;
    EXPECT_EQ(c.rootThere, fs::is_directory(root)) << c.what;
    if (c.rootThere) {
      EXPECT_EQ(vktest::ReadFile(root + "a/b/a.txt"), "eins") << c.what;
      EXPECT_EQ(fs::perms::owner_all, fs::status(root + "a").permissions()) << c.what;
    }
  }
}
