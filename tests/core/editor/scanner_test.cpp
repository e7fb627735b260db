// The sorted text list, the directory scan and the extension survey.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "base/codepage.h"
#include "core/editor/scanner.h"
#include "platform/platform.h"
#include "support/core_support.h"

namespace fs = std::filesystem;

namespace {

// A window stand-in: records what the scan shows and cancels on request.
class FakeWindow : public ScanProgress {
 public:
  void ShowScanWindow() override {
    ++shown;
    visible = true;
  }
  void HideScanWindow() override { visible = false; }
  void RunScan(const std::function<void()>& scan) override {
    ++scans;
    scan();
  }
  // Asked before each folder: the click of a round arrives just before.
  bool IsRunning() const override {
    ++rounds;
    if (rounds == cancelAtRound) running = false;
    return running;
  }
  void SetRunning(bool r) override { running = r; }
  void ShowDirectory(const std::string& d) override { directories.push_back(d); }
  void ShowFileCount(const std::string& t) override { counts.push_back(t); }

  mutable bool running = false;
  bool visible = false;
  int shown = 0;
  int scans = 0;
  mutable int rounds = 0;
  int cancelAtRound = -1;
  std::vector<std::string> directories;
  std::vector<std::string> counts;
};

std::string Survey(const std::string& dir, tScanDir& scanner, FakeWindow& window,
                   int* result = nullptr) {
  std::string text = "unchanged";
  const int r = SurveyExtensions(scanner, window, dir, "*.*", text, true);
  if (result) *result = r;
  return text;
}

}  // namespace

// ------------------------------------------------------------------ TListe --

TEST(TListe, KeepsEntriesInByteOrderBetweenTheMarkers) {
  TListe list;
  EXPECT_EQ(list.Head()->Text, "-- Anfang --");
  EXPECT_EQ(list.Tail()->Text, "-- Ende --");
  EXPECT_EQ(list.Head()->Next, list.Tail());
  EXPECT_EQ(list.Tail()->Prev, list.Head());

  // Unsigned bytes: "ä" (0xC3 0xA4) after "z"; a prefix before the longer
  // text; capitals before small letters.
  for (const char* t : {"b", "z", "\xC3\xA4", "ab", "a", "B", ""}) list.Add(t);
  EXPECT_EQ(list.Entries(), (std::vector<std::string>{"", "B", "a", "ab", "b", "z", "\xC3\xA4"}));
  EXPECT_EQ(list.Count, 7);

  // The links run both ways.
  std::vector<std::string> backwards;
  for (const TListe::Node* n = list.Tail()->Prev; n != list.Head(); n = n->Prev)
    backwards.push_back(n->Text);
  std::reverse(backwards.begin(), backwards.end());
  EXPECT_EQ(backwards, list.Entries());
}

TEST(TListe, KeepsEqualTextsNewestFirst) {
  TListe list;
  list.Add("m");
  list.Add("x");
  const TListe::Node* older = list.Head()->Next->Next;
  ASSERT_EQ(older->Text, "x");
  list.Add("x");
  const TListe::Node* newer = list.Head()->Next->Next;
  EXPECT_NE(newer, older);
  EXPECT_EQ(newer->Text, "x");
  EXPECT_EQ(newer->Next, older);
  EXPECT_EQ(older->Prev, newer);
  list.Add("x");
  EXPECT_EQ(list.Head()->Next->Next->Next, newer);
  EXPECT_EQ(list.Count, 4);

  // Several added between two looks: all before the older equal ones.
  list.Add("x");
  list.Add("a");
  list.Add("x");
  list.Add("z");
  EXPECT_EQ(list.Entries(), (std::vector<std::string>{"a", "m", "x", "x", "x", "x", "x", "z"}));
  const TListe::Node* n = list.Head()->Next->Next->Next;
  EXPECT_NE(n, newer);
  EXPECT_NE(n->Next, newer);
  EXPECT_EQ(n->Next->Next->Next, newer);
  EXPECT_EQ(n->Next->Next->Next->Next, older);
  EXPECT_EQ(list.Tail()->Prev->Text, "z");
}

TEST(TListe, CutsTextsTo255CharactersAndClears) {
  TListe list;
  std::string umlauts;
  for (int i = 0; i < 300; ++i) umlauts += "\xC3\xA4";
  list.Add(umlauts);
  EXPECT_EQ(text::Length(list.Entries().at(0)), 255u);

  EXPECT_FALSE(list.IsEmpty());
  list.Clear();
  EXPECT_EQ(list.Count, 0);
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.Head()->Next, list.Tail());
  // IsEmpty puts a stale count right.
  list.Count = 7;
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.Count, 0);
  // The list is usable after clearing.
  list.Add("b");
  list.Add("a");
  EXPECT_EQ(list.Entries(), (std::vector<std::string>{"a", "b"}));
}

TEST(TListe, InsertsAHundredThousandEntriesQuickly) {
  // A walk along the list for every entry would take hours here.
  std::mt19937 random(5);
  std::vector<std::string> texts;
  for (int i = 0; i < 100000; ++i)
    texts.push_back("F" + std::to_string(random() % 100000) + "\r/HOME/USER/DIR/\r12345\r67");
  const auto start = std::chrono::steady_clock::now();
  TListe list;
  for (const std::string& t : texts) list.Add(t);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 30.0);
  EXPECT_EQ(list.Count, 100000);
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(list.Entries(), texts);
}

// ---------------------------------------------------------------- scanning --

TEST(Scanner, EmptyFolderGivesOnlyTheAllLine) {
  vktest::TempDir tmp;
  tScanDir scanner;
  FakeWindow window;
  int result = 0;
  EXPECT_EQ(Survey(tmp.path(), scanner, window, &result), ".*");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(scanner.Count, 0);
  EXPECT_EQ(window.counts, (std::vector<std::string>{"0 Dateien"}));
  EXPECT_EQ(window.shown, 1);
  EXPECT_EQ(window.scans, 1);
  EXPECT_FALSE(window.visible);
}

TEST(Scanner, CollectsEachExtensionOnceInUpperCase) {
  vktest::TempDir tmp;
  vktest::WriteFile(tmp / "a.txt", "1");
  vktest::WriteFile(tmp / "b.TXT", "22");
  vktest::WriteFile(tmp / "c", "333");
  tScanDir scanner;
  FakeWindow window;
  EXPECT_EQ(Survey(tmp.path(), scanner, window), ".*\r.TXT");
  EXPECT_EQ(scanner.Count, 3);
}

TEST(Scanner, EntryDescribesTheFileInUpperCase) {
  vktest::TempDir tmp;
  fs::create_directory(tmp / "Sub");
  vktest::WriteFile(tmp / "Sub/Brief.txt", "hello");
  platform::DirLister lister(tmp / "Sub");
  platform::DirEntry entry;
  ASSERT_TRUE(lister.Next(entry));
  tScanDir scanner;
  ASSERT_EQ(scanner.ScanDirectory(tmp / "Sub", "*.*", false), 1);
  ASSERT_EQ(scanner.Count, 1);
  EXPECT_EQ(scanner.Entries().at(0),
            text::Upper("Brief.txt\r" + tmp.path() + "Sub/\r" +
                        std::to_string(static_cast<std::int32_t>(entry.stamp)) + "\r5"));
}

TEST(Scanner, SurveyEntriesHoldNameAndFolderOnly) {
  vktest::TempDir tmp;
  vktest::WriteFile(tmp / "Brief.txt", "hello");
  tScanDir scanner;
  FakeWindow window;
  Survey(tmp.path(), scanner, window);
  EXPECT_EQ(scanner.Entries(), (std::vector<std::string>{text::Upper("Brief.txt\r" + tmp.path())}));
  EXPECT_TRUE(scanner.DescribeFiles);  // as it was before the survey
}

TEST(Scanner, CountsHiddenFilesButDoesNotEnterHiddenFolders) {
  vktest::TempDir tmp;
  vktest::WriteFile(tmp / ".profile", "");
  vktest::WriteFile(tmp / ".git/objects/pack.idx", "");
  vktest::WriteFile(tmp / "src/main.cpp", "");
  vktest::WriteFile(tmp / "src/.hidden/x.obj", "");
  tScanDir scanner;
  FakeWindow window;
  EXPECT_EQ(Survey(tmp.path(), scanner, window), ".*\r.PROFILE\r.CPP");
  EXPECT_EQ(scanner.Count, 2);
}

TEST(Scanner, CutsLongExtensionsTo20Characters) {
  vktest::TempDir tmp;
  vktest::WriteFile(tmp / "a.abcdefghijklmnopqrstuvwxy", "");
  vktest::WriteFile(tmp / "b.ABCDEFGHIJKLMNOPQRSTZZZZZ", "");
  tScanDir scanner;
  FakeWindow window;
  EXPECT_EQ(Survey(tmp.path(), scanner, window), ".*\r.ABCDEFGHIJKLMNOPQRST");
}

TEST(Scanner, KeepsAnExtensionThatBeginsAnotherOne) {
  // ".DO" is its own extension even when ".DOC" was met first.
  vktest::TempDir tmp;
  vktest::WriteFile(tmp / "a.doc", "");
  vktest::WriteFile(tmp / "sub/b.do", "");
  vktest::WriteFile(tmp / "sub/deeper/c.d", "");
  tScanDir scanner;
  FakeWindow window;
  EXPECT_EQ(Survey(tmp.path(), scanner, window), ".*\r.DOC\r.DO\r.D");
}

TEST(Scanner, LeavesOutExtensionsThatTheListFilesCannotHold) {
  vktest::TempDir tmp;
  vktest::WriteFile(tmp / "a.\xE6\x96\x87", "");  // a Chinese letter
  vktest::WriteFile(tmp / "b.x\ry", "");
  vktest::WriteFile(tmp / "c.\xC3\xA4t", "");  // "ät" is fine
  tScanDir scanner;
  FakeWindow window;
  EXPECT_EQ(Survey(tmp.path(), scanner, window), ".*\r.\xC3\x84T");
  EXPECT_EQ(scanner.Count, 3);
}

TEST(Scanner, NeverFollowsASymlinkToADirectory) {
  vktest::TempDir tmp;
  vktest::TempDir outside;
  vktest::WriteFile(outside / "far.qqq", "");
  vktest::WriteFile(tmp / "real/near.zzz", "");
  fs::create_directory_symlink(outside.path(), tmp / "elsewhere");
  fs::create_directory_symlink(tmp.path(), tmp / "real/loop");
  tScanDir scanner;
  FakeWindow window;
  int result = 0;
  EXPECT_EQ(Survey(tmp.path(), scanner, window, &result), ".*\r.ZZZ");
  EXPECT_EQ(result, 1);
  // The two links count as files.
  EXPECT_EQ(scanner.Count, 3);
}

TEST(Scanner, ShowsDirectoriesAndCountsInScanOrder) {
  vktest::TempDir tmp;
  vktest::WriteFile(tmp / "a/one.txt", "");
  vktest::WriteFile(tmp / "top.txt", "");
  tScanDir scanner;
  FakeWindow window;
  const std::string top = tmp.path().substr(0, tmp.path().size() - 1);
  Survey(top, scanner, window);
  // The chosen folder as received, nested ones with their separator.
  EXPECT_EQ(window.directories, (std::vector<std::string>{top, tmp.path() + "a/"}));
  // The inner folder reports first, the outer one after everything below.
  EXPECT_EQ(window.counts, (std::vector<std::string>{"2 Dateien", "2 Dateien"}));
}

TEST(Scanner, MissingFolderGivesNothing) {
  vktest::TempDir tmp;
  tScanDir scanner;
  FakeWindow window;
  int result = 0;
  EXPECT_EQ(Survey(tmp / "missing", scanner, window, &result), ".*");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(scanner.Count, 0);
}

TEST(Scanner, CancelStopsAtTheNextFolder) {
  vktest::TempDir tmp;
  vktest::WriteFile(tmp / "a.aaa", "");
  for (const char* sub : {"s1", "s2", "s3"})
    vktest::WriteFile(tmp / (std::string(sub) + "/x." + sub), "");
  tScanDir scanner;
  FakeWindow window;
  window.cancelAtRound = 2;  // the click arrives while the first subfolder starts
  int result = 0;
  const std::string text = Survey(tmp.path(), scanner, window, &result);
  EXPECT_EQ(result, 2);
  // The top folder's files were done; the text comes back all the same.
  EXPECT_EQ(text, ".*\r.AAA");
  EXPECT_EQ(scanner.Count, 1);
  // Every later folder returns at once.
  EXPECT_EQ(window.rounds, 4);
  EXPECT_FALSE(window.visible);
}

// A window that runs the scan on a thread of its own, as the program's
// window does: the starting thread takes what the scan hands over once per
// "frame" and keeps it as drawn. Each member notes a call on the wrong
// thread.
class ThreadedWindow : public ScanHandover {
 public:
  void ShowScanWindow() override { OnStarter(); }
  void HideScanWindow() override { OnStarter(); }
  void SetRunning(bool running) override {
    OnStarter();
    ScanHandover::SetRunning(running);
  }
  void RunScan(const std::function<void()>& scan) override {
    OnStarter();
    std::atomic<bool> ended{false};
    std::thread worker([&] {
      scan();
      ended = true;
    });
    while (!ended) {
      Frame();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    Frame();
  }
  bool IsRunning() const override {
    OnScan();
    return ScanHandover::IsRunning();
  }
  void ShowDirectory(const std::string& d) override {
    OnScan();
    ScanHandover::ShowDirectory(d);
  }
  void ShowFileCount(const std::string& t) override {
    OnScan();
    ScanHandover::ShowFileCount(t);
  }

  // On the starting thread after each frame.
  std::function<void()> afterFrame;
  std::string directory, fileCount;  // as drawn, starting thread only
  mutable std::atomic<int> wrongThread{0};

 private:
  void Frame() {
    const Shown shown = TakeShown();
    if (shown.directory) directory = *shown.directory;
    if (shown.fileCount) fileCount = *shown.fileCount;
    if (afterFrame) afterFrame();
  }
  void OnStarter() const {
    if (std::this_thread::get_id() != starter_) ++wrongThread;
  }
  void OnScan() const {
    if (std::this_thread::get_id() == starter_) ++wrongThread;
  }
  const std::thread::id starter_ = std::this_thread::get_id();
};

TEST(Scanner, ScanOnAThreadOfItsOwnHandsOverTheLatestAndTakesTheCancel) {
  // The top folder holds one file, each of three subfolders two. The scan
  // waits in the listing of its third folder until the window drew that
  // folder and the count of the two before; a click then stops it before
  // the fourth folder. The count drawn at the end is exact either way.
  struct Case {
    bool cancel;
    int result;
    int count;
    std::string shownAtEnd;
  };
  for (const Case& c : {Case{false, 1, 7, "7 Dateien"}, Case{true, 2, 5, "5 Dateien"}}) {
    SCOPED_TRACE(c.cancel ? "cancelled" : "finished");
    vktest::TempDir tmp;
    for (const char* name :
         {"a.aaa", "s1/x.s1", "s1/y.s1", "s2/x.s2", "s2/y.s2", "s3/x.s3", "s3/y.s3"})
      vktest::WriteFile(tmp / name, "");

    int listings = 0;  // scan thread only
    std::string hanging;
    std::atomic<bool> hangs{false}, released{false};
    platform::SetFaultHook([&](const std::string& op, const std::string& path) {
      if (op != "list-dir" || ++listings != 3) return 0;
      hanging = path;
      hangs.store(true, std::memory_order_release);
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!released.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return 0;
    });
    tScanDir scanner;
    ThreadedWindow window;
    bool drawnWhileHanging = false;
    window.afterFrame = [&] {
      if (released || !hangs.load(std::memory_order_acquire)) return;
      if (window.directory != hanging || window.fileCount != "3 Dateien") return;
      drawnWhileHanging = true;
      if (c.cancel) window.SetRunning(false);
      released.store(true, std::memory_order_release);
    };
    std::string text;
    const int result = SurveyExtensions(scanner, window, tmp.path(), "*.*", text, true);
    platform::SetFaultHook(nullptr);

    EXPECT_TRUE(drawnWhileHanging);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(scanner.Count, c.count);
    EXPECT_EQ(window.fileCount, c.shownAtEnd);
    EXPECT_EQ(window.wrongThread, 0);
  }
}

TEST(Scanner, SurveyStartsAfresh) {
  vktest::TempDir one, two;
  vktest::WriteFile(one / "a.one", "");
  vktest::WriteFile(two / "b.two", "");
  tScanDir scanner;
  FakeWindow window;
  Survey(one.path(), scanner, window);
  EXPECT_EQ(Survey(two.path(), scanner, window), ".*\r.TWO");
  EXPECT_EQ(scanner.Count, 1);
}

TEST(Scanner, AppliesTheFileMask) {
  EXPECT_TRUE(MatchesMask("README", "*.*"));
  EXPECT_TRUE(MatchesMask("Brief.TXT", "*.txt"));
  EXPECT_FALSE(MatchesMask("Brief.doc", "*.txt"));
  EXPECT_TRUE(MatchesMask("a1.txt", "a?.*"));
  EXPECT_FALSE(MatchesMask("ab1.txt", "a?.*"));

  vktest::TempDir tmp;
  vktest::WriteFile(tmp / "a.txt", "");
  vktest::WriteFile(tmp / "b.doc", "");
  vktest::WriteFile(tmp / "sub/c.txt", "");
  tScanDir scanner;
  EXPECT_EQ(scanner.ScanDirectory(tmp.path(), "*.txt", true), 1);
  EXPECT_EQ(scanner.Count, 2);
  EXPECT_EQ(scanner.Extensions, ".*\r.TXT");
}
