#include "base/pattern.h"

#include <vector>

#include "base/codepage.h"

namespace {

// The length of the UTF-8 character that starts at text[i].
std::size_t CharLength(const std::string& text, std::size_t i) {
  std::size_t n = 1;
  while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
  return n;
}

}  // namespace

bool GlobMatches(const std::string& glob, const std::string& text) {
  enum class Kind { Char, One, Star, Deep, DeepFolders };
  struct Token {
    Kind kind;
    char c;
  };
  std::vector<Token> tokens;
  for (std::size_t i = 0; i < glob.size(); ++i) {
    if (glob[i] == '*' && i + 1 < glob.size() && glob[i + 1] == '*') {
      while (i + 1 < glob.size() && glob[i + 1] == '*') ++i;  // "***" is "**"
      const bool folders = i + 1 < glob.size() && glob[i + 1] == '/';
      tokens.push_back({folders ? Kind::DeepFolders : Kind::Deep, 0});
      if (folders) ++i;
    } else if (glob[i] == '*') {
      tokens.push_back({Kind::Star, 0});
    } else if (glob[i] == '?') {
      tokens.push_back({Kind::One, 0});
    } else {
      tokens.push_back({Kind::Char, glob[i]});
    }
  }
  // reach[j]: the glob so far matches the first j bytes of the text. Each
  // token is applied once to every position: no pattern takes more than
  // (tokens × text) steps, however many stars it has.
  const std::size_t t = text.size();
  std::vector<char> reach(t + 1, 0), next(t + 1, 0);
  reach[0] = 1;
  for (const Token& token : tokens) {
    std::fill(next.begin(), next.end(), 0);
    for (std::size_t j = 0; j <= t; ++j) {
      if (!reach[j]) continue;
      switch (token.kind) {
        case Kind::Char:
          if (j < t && text[j] == token.c) next[j + 1] = 1;
          break;
        case Kind::One:
          if (j < t && text[j] != '/') next[j + CharLength(text, j)] = 1;
          break;
        case Kind::Star:
          next[j] = 1;
          for (std::size_t k = j; k < t && text[k] != '/'; ++k) next[k + 1] = 1;
          break;
        case Kind::Deep:
          for (std::size_t k = j; k <= t; ++k) next[k] = 1;
          break;
        case Kind::DeepFolders:
          // None, or any names up to and with a "/".
          next[j] = 1;
          for (std::size_t k = j; k < t; ++k)
            if (text[k] == '/') next[k + 1] = 1;
          break;
      }
    }
    reach.swap(next);
  }
  return reach[t] != 0;
}

bool ExclusionPatterns::Add(const std::string& pattern) {
  std::string p = text::Upper(text::Trim(pattern));
  Pattern entry;
  if (!p.empty() && p.back() == '/') {
    entry.foldersOnly = true;
    while (!p.empty() && p.back() == '/') p.pop_back();
  }
  bool anchored = false;
  if (!p.empty() && p.front() == '/') {
    anchored = true;
    while (!p.empty() && p.front() == '/') p.erase(0, 1);
  }
  if (p.empty()) return false;
  entry.glob = anchored || p.rfind("**/", 0) == 0 ? p : "**/" + p;
  patterns_.push_back(entry);
  return true;
}

int ExclusionPatterns::FirstHit(const std::string& relativePath, bool isFolder) const {
  if (patterns_.empty()) return -1;
  const std::string upper = text::Upper(relativePath);
  for (std::size_t i = 0; i < patterns_.size(); ++i) {
    if (patterns_[i].foldersOnly && !isFolder) continue;
    if (GlobMatches(patterns_[i].glob, upper)) return static_cast<int>(i);
  }
  return -1;
}

bool ExclusionPatterns::Hits(const std::string& relativePath, bool isFolder) const {
  return FirstHit(relativePath, isFolder) >= 0;
}

bool ExclusionPatterns::Excludes(const std::string& relativePath, bool isFolder) const {
  if (patterns_.empty()) return false;
  // The folders on the way first: what lies in an excluded one goes with it.
  for (std::size_t slash = relativePath.find('/'); slash != std::string::npos;
       slash = relativePath.find('/', slash + 1))
    if (Hits(relativePath.substr(0, slash), true)) return true;
  return Hits(relativePath, isFolder);
}
