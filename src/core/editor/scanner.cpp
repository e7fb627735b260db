#include "core/editor/scanner.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "platform/platform.h"

// ------------------------------------------------------------------ TListe --

TListe::TListe()
    : head_(new Node{"-- Anfang --", nullptr, nullptr}),
      tail_(new Node{"-- Ende --", nullptr, nullptr}) {
  head_->Next = tail_;
  tail_->Prev = head_;
}

TListe::~TListe() {
  Clear();
  delete head_;
  delete tail_;
}

bool TListe::IsEmpty() {
  if (head_->Next != tail_ || !pending_.empty()) return false;
  Count = 0;
  return true;
}

void TListe::Clear() {
  if (IsEmpty()) return;
  for (Node* node : pending_) delete node;
  pending_.clear();
  Node* node = head_->Next;
  while (node != tail_) {
    Node* next = node->Next;
    delete node;
    node = next;
  }
  head_->Next = tail_;
  tail_->Prev = head_;
  Count = 0;
}

void TListe::Add(const std::string& text) {
  // A text of at most 255 bytes has at most 255 characters.
  pending_.push_back(
      new Node{text.size() <= kMaxText ? text : text::Left(text, kMaxText), nullptr, nullptr});
  ++Count;
}

void TListe::MergePending() const {
  if (pending_.empty()) return;
  // Newest first among equal texts: newest first overall, then a stable
  // sort by text.
  std::reverse(pending_.begin(), pending_.end());
  std::stable_sort(pending_.begin(), pending_.end(),
                   [](const Node* a, const Node* b) { return a->Text < b->Text; });
  // One walk along the list: each new node goes in front of the first node
  // that is not smaller, so it also comes before equal older texts.
  Node* place = head_->Next;
  for (Node* node : pending_) {
    while (place != tail_ && node->Text > place->Text) place = place->Next;
    node->Prev = place->Prev;
    node->Next = place;
    place->Prev->Next = node;
    place->Prev = node;
  }
  pending_.clear();
}

const TListe::Node* TListe::Head() const {
  MergePending();
  return head_;
}

const TListe::Node* TListe::Tail() const {
  MergePending();
  return tail_;
}

std::vector<std::string> TListe::Entries() const {
  MergePending();
  std::vector<std::string> result;
  for (const Node* n = head_->Next; n != tail_; n = n->Next) result.push_back(n->Text);
  return result;
}

// ------------------------------------------------------------ ScanHandover --

void ScanHandover::ShowDirectory(const std::string& directory) {
  std::lock_guard<std::mutex> lock(mutex_);
  shown_.directory = directory;
}

void ScanHandover::ShowFileCount(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  shown_.fileCount = text;
}

ScanHandover::Shown ScanHandover::TakeShown() {
  Shown taken;
  std::lock_guard<std::mutex> lock(mutex_);
  std::swap(taken, shown_);
  return taken;
}

// ---------------------------------------------------------------- tScanDir --

namespace {

// Wildcard matching on upper-cased texts: "*" any run, "?" one
// character (counted in bytes, which is enough for the masks in use).
bool Wildcard(std::string_view name, std::string_view mask) {
  std::size_t n = 0, m = 0, starM = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

bool HasControlCharacter(const std::string& s) {
  for (unsigned char c : s)
    if (c < 32 || c == 127) return true;
  return false;
}

}  // namespace

bool MatchesMask(const std::string& name, const std::string& mask) {
  if (mask == "*.*" || mask == "*" || mask.empty()) return true;
  return Wildcard(text::Upper(name), text::Upper(mask));
}

void tScanDir::AddUpper(const std::string& text) { Add(text::Upper(text)); }

void tScanDir::ResetExtensions() {
  Extensions = ".*";
  seen_.clear();
}

void tScanDir::AddExtension(const std::string& name) {
  std::string ext = GetExtUpper(name);  // upper case already
  if (ext.size() > kMaxExtension) ext = text::Left(ext, kMaxExtension);
  // A name without extension adds nothing: the first line ".*" stands for it.
  if (ext.empty() || ext == "*") return;
  // An extension that the list files cannot hold (a line break in it, or a
  // character outside Windows-1252) could never be chosen correctly.
  if (HasControlCharacter(ext) || !cp1252::IsRepresentable(ext)) return;
  std::string line = "." + ext;
  if (!seen_.insert(line).second) return;
  Extensions += '\r';
  Extensions += line;
}

int tScanDir::ScanDirectory(const std::string& directory, const std::string& mask, bool recurse) {
  static ScanProgress silent;
  ScanProgress& progress = Progress ? *Progress : silent;

  // A click on "Abbrechen" takes effect here, before the next folder.
  if (!progress.IsRunning()) return 2;
  progress.ShowDirectory(directory);

  const std::string dir = AddBackslash(directory);
  std::vector<std::string> subdirs;
  {
    platform::DirLister lister(dir);
    platform::DirEntry entry;
    std::string line;
    while (lister.IsOpen() && lister.Next(entry, DescribeFiles)) {
      if (entry.kind == platform::EntryKind::Directory) {
        // Hidden directories are not entered; a symlink is never one.
        if (recurse && !entry.hidden) subdirs.push_back(entry.name);
        continue;
      }
      if (!MatchesMask(entry.name, mask)) continue;
      line.clear();
      line += entry.name;
      line += '\r';
      line += dir;
      if (DescribeFiles) {
        line += '\r';
        line += std::to_string(static_cast<std::int32_t>(entry.stamp));
        line += '\r';
        line += std::to_string(static_cast<std::uint32_t>(entry.size & 0xFFFFFFFFu));
      }
      AddUpper(line);
      AddExtension(entry.name);
    }
  }  // the directory is closed before its subdirectories are opened

  int result = 1;
  for (const std::string& sub : subdirs) result = ScanDirectory(dir + sub + "/", mask, recurse);

  progress.ShowFileCount(std::to_string(Count) + " Dateien");
  return result;
}

int SurveyExtensions(tScanDir& scanner, ScanProgress& window, const std::string& directory,
                     const std::string& mask, std::string& text, bool recurse) {
  window.ShowScanWindow();
  window.SetRunning(true);
  scanner.ResetExtensions();
  scanner.Clear();
  ScanProgress* before = scanner.Progress;
  const bool describe = scanner.DescribeFiles;
  scanner.Progress = &window;
  scanner.DescribeFiles = false;  // the survey reads only Count
  int result = 2;
  window.RunScan([&] { result = scanner.ScanDirectory(directory, mask, recurse); });
  scanner.Progress = before;
  scanner.DescribeFiles = describe;
  text = scanner.Extensions;
  window.HideScanWindow();
  return result;
}
