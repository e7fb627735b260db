#include "editor/scanner.h"

#include <cstdint>
#include <utility>

#include "platform/platform.h"
#include "storage/codepage.h"
#include "storage/pathtext.h"

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
  if (head_->Next != tail_) return false;
  Count = 0;
  return true;
}

void TListe::Clear() {
  if (IsEmpty()) return;
  Node* node = head_->Next;
  while (node != tail_) {
    Node* next = node->Next;
    delete node;
    node = next;
  }
  index_.clear();
  head_->Next = tail_;
  tail_->Prev = head_;
  Count = 0;
}

void TListe::Add(const std::string& text) {
  auto* node = new Node{text::Left(text, kMaxText), nullptr, nullptr};
  // The first entry that is not smaller than the new text: the new node
  // goes in front of it, so that it comes before equal older texts.
  auto place = index_.lower_bound(node->Text);
  Node* before = place == index_.end() ? tail_ : place->second;
  node->Prev = before->Prev;
  node->Next = before;
  before->Prev->Next = node;
  before->Prev = node;
  index_.emplace_hint(place, std::string_view(node->Text), node);
  ++Count;
}

std::vector<std::string> TListe::Entries() const {
  std::vector<std::string> result;
  for (const Node* n = head_->Next; n != tail_; n = n->Next) result.push_back(n->Text);
  return result;
}

// ---------------------------------------------------------------- tScanDir --

namespace {

// Windows wildcard matching on upper-cased texts: "*" any run, "?" one
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
  std::string ext = text::Left(text::Upper(GetExtUpper(name)), kMaxExtension);
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

  progress.ProcessPendingEvents();
  if (!progress.IsRunning()) return 2;
  progress.ShowDirectory(directory);

  const std::string dir = AddBackslash(directory);
  std::vector<std::string> subdirs;
  {
    platform::DirLister lister(dir);
    platform::DirEntry entry;
    std::string line;
    while (lister.IsOpen() && lister.Next(entry)) {
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
      line += '\r';
      line += std::to_string(static_cast<std::int32_t>(entry.stamp));
      line += '\r';
      line += std::to_string(static_cast<std::uint32_t>(entry.size & 0xFFFFFFFFu));
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
  scanner.Progress = &window;
  const int result = scanner.ScanDirectory(directory, mask, recurse);
  scanner.Progress = before;
  text = scanner.Extensions;
  window.HideScanWindow();
  return result;
}
