// The directory scanner behind the extension survey of the job editor: a
// sorted text list, the recursive scan that fills it and collects the
// extensions met, and the survey that drives a scan with a progress window.
//
// The scan runs on the user-interface thread; it talks to its window only
// through ScanProgress (labels, pending events, the running flag), so that
// the window, the tests and the benchmark can each drive it.
#pragma once

#include <cstdint>
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
// a scan without a window (tests, benchmark) runs as if never cancelled.
class ScanProgress {
 public:
  virtual ~ScanProgress() = default;
  // Shows the window (not modal), gives the cancel button the focus.
  virtual void ShowScanWindow() {}
  virtual void HideScanWindow() {}
  // Handles the window messages that are waiting (repaint, cancel click).
  virtual void ProcessPendingEvents() {}
  virtual bool IsRunning() const { return true; }
  virtual void SetRunning(bool /*running*/) {}
  // The directory being scanned (as the scan received it).
  virtual void ShowDirectory(const std::string& /*directory*/) {}
  // The number of files found so far, as "<count> Dateien".
  virtual void ShowFileCount(const std::string& /*text*/) {}
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
// describing each file), and gives the extensions text back (also when
// cancelled). 1 finished, 2 cancelled.
int SurveyExtensions(tScanDir& scanner, ScanProgress& window, const std::string& directory,
                     const std::string& mask, std::string& text, bool recurse);

// True when the bare name matches a file mask with * and ?, letter case
// ignored; "*.*" and "*" match every name, also one without a dot.
bool MatchesMask(const std::string& name, const std::string& mask);
