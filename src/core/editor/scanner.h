// The directory scanner behind the extension survey of the job editor: a
// sorted text list, the recursive scan that fills it and collects the
// extensions met, and the survey that drives a scan with a progress window.
//
// The scan talks to its window only through ScanProgress, so that the
// window, the tests and the benchmark can each drive it. A window runs the
// scan on a thread of its own (ScanProgress::RunScan) and draws what the
// scan hands over (ScanHandover) while it takes the input.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

// A list of texts kept in ascending byte order between two marker nodes.
// Texts compare byte by byte on unsigned codes, a prefix before the longer
// text; equal texts are all kept, the newest before the older ones.
//
// Adding is cheap: a new entry waits in a pending list, and the pending
// entries are sorted and merged into the linked list in one pass as soon as
// the order is looked at (Head, Tail, Entries). So a scan that adds 200,000
// entries never walks the list per entry.
class TListe {
 public:
  struct Node {
    std::string Text;  // at most 255 characters
    Node* Prev = nullptr;
    Node* Next = nullptr;
  };

  static constexpr std::size_t kMaxText = 255;

  TListe();
  virtual ~TListe();
  TListe(const TListe&) = delete;
  TListe& operator=(const TListe&) = delete;

  // Number of entries added since the last clearing.
  int Count = 0;

  // The start marker ("-- Anfang --") and the end marker ("-- Ende --");
  // every entry added so far lies between them in order.
  const Node* Head() const;
  const Node* Tail() const;

  // True when no entry lies between the markers; then Count becomes 0.
  bool IsEmpty();
  // Releases every entry; Count becomes 0.
  void Clear();
  // Inserts the text (cut to 255 characters) at its place.
  void Add(const std::string& text);

  // The entries from the start marker to the end marker.
  std::vector<std::string> Entries() const;

 private:
  // Sorts the pending entries and merges them into the linked list.
  void MergePending() const;

  Node* head_;
  Node* tail_;
  mutable std::vector<Node*> pending_;  // added, not yet linked; oldest first
};

// What a scan needs from its window. Every member has a silent default, so
// a scan without a window (tests, benchmark) runs at once, on the calling
// thread, as if never cancelled.
//
// The survey calls ShowScanWindow, SetRunning, RunScan and HideScanWindow
// on the thread that starts it (the window's). The scan itself calls
// IsRunning, ShowDirectory and ShowFileCount on the thread RunScan runs it
// on, which may be another one: there these members must be thread-safe
// and must not touch a widget.
class ScanProgress {
 public:
  virtual ~ScanProgress() = default;

  // ---- on the thread that starts the survey ----
  // Shows the window (not modal), gives the cancel button the focus.
  virtual void ShowScanWindow() {}
  virtual void HideScanWindow() {}
  virtual void SetRunning(bool /*running*/) {}
  // Runs the scan and returns when it has ended. A window runs it on a
  // thread of its own and meanwhile draws and takes the input.
  virtual void RunScan(const std::function<void()>& scan) { scan(); }

  // ---- on the scan's thread ----
  // Asked before each folder is entered: false once "Abbrechen" was clicked.
  virtual bool IsRunning() const { return true; }
  // The directory being scanned (as the scan received it).
  virtual void ShowDirectory(const std::string& /*directory*/) {}
  // The number of files found so far, as "<count> Dateien"; given at the
  // end of each folder, after everything below it.
  virtual void ShowFileCount(const std::string& /*text*/) {}
};

// The hand-over between a scan on a thread of its own and the window that
// shows it: the scan leaves the latest directory and count here (guarded
// by a mutex) and reads the running flag (atomic); the window takes what
// is latest once per frame and clears the flag on "Abbrechen". Every
// member may be called on either thread.
class ScanHandover : public ScanProgress {
 public:
  // What the scan handed over since the last Take; nothing for a value
  // that did not change.
  struct Shown {
    std::optional<std::string> directory;
    std::optional<std::string> fileCount;
  };

  bool IsRunning() const override { return running_.load(std::memory_order_relaxed); }
  void SetRunning(bool running) override { running_.store(running, std::memory_order_relaxed); }
  void ShowDirectory(const std::string& directory) override;
  void ShowFileCount(const std::string& text) override;

  Shown TakeShown();

 private:
  std::atomic<bool> running_{false};
  std::mutex mutex_;  // guards shown_
  Shown shown_;
};

class tScanDir : public TListe {
 public:
  static constexpr std::size_t kMaxExtension = 20;

  // The extensions found so far: ".*" first, then "." + extension per
  // distinct extension in the order first met, lines separated by CR.
  std::string Extensions = ".*";
  // The window of the running survey; nullptr for none.
  ScanProgress* Progress = nullptr;
  // With true (the default) an entry describes a file completely: name,
  // directory, packed time stamp and size, each line ended by CR but the
  // last. With false it holds only the name and the directory, and the scan
  // needs no look at each file's inode: much faster on large trees, and
  // enough for the survey, which reads only Count.
  bool DescribeFiles = true;

  // Upper-cases the text (Windows-1252 letters) and adds it.
  void AddUpper(const std::string& text);
  // Scans the directory's files matching the mask and, with recurse, every
  // subdirectory that is not hidden. 1 when finished, 2 when cancelled.
  int ScanDirectory(const std::string& directory, const std::string& mask, bool recurse);
  // Forgets the entries and the extensions collected so far (".*" stays).
  void ResetExtensions();

 private:
  void AddExtension(const std::string& name);
  std::unordered_set<std::string> seen_;  // the lines of Extensions after ".*"
};

// The survey: shows the window, sets the running flag, scans (without
// describing each file) through the window's RunScan, and gives the
// extensions text back (also when cancelled). 1 finished, 2 cancelled.
// The scanner belongs to the scan while RunScan works.
int SurveyExtensions(tScanDir& scanner, ScanProgress& window, const std::string& directory,
                     const std::string& mask, std::string& text, bool recurse);

// True when the bare name matches a file mask with * and ?, letter case
// ignored; "*.*" and "*" match every name, also one without a dot.
bool MatchesMask(const std::string& name, const std::string& mask);
