// What a synchronisation knew after its last run that ended without error:
// for every name below the pair, the entry on each side. One file per
// definition in the data folder (SyncDefinitions::StateFileName),
// Windows-1252 text with CR LF, written atomically:
//
//   VolKarn-Abgleich 1
//   F<TAB>size A<TAB>time A<TAB>size B<TAB>time B<TAB>path
//
// The kind is F (file), D (folder) or L (link); times are seconds since
// 1970; the path is relative to the pair's folders. Bytes of a name that
// Windows-1252 cannot hold, control characters and "\" are written as
// "\xHH", so every name comes back exactly as it was.
#pragma once

#include <map>
#include <string>

#include "core/sync/syncdecide.h"

class SyncState {
 public:
  enum class LoadResult { Loaded, Missing, Unreadable };
  struct Known {
    twoway::Entry a;
    twoway::Entry b;
  };

  // A file that is not one of ours is Unreadable: never written over.
  LoadResult Load(const std::string& path);
  // Result 0 or an error code; kNotWritten after a load that failed.
  int Save(const std::string& path) const;
  static constexpr int kNotWritten = -1;

  const Known* Find(const std::string& path) const;
  // True when both know the same names with the same entries.
  bool SameAs(const SyncState& other) const;
  void Put(const std::string& path, const twoway::Entry& a, const twoway::Entry& b);
  void Clear() { known_.clear(); }
  std::size_t Size() const { return known_.size(); }
  const std::map<std::string, Known>& All() const { return known_; }

  // A name as the file holds it, and back (false: not a name we wrote).
  static std::string EncodeName(const std::string& name);
  static bool DecodeName(const std::string& text, std::string& name);

 private:
  std::map<std::string, Known> known_;
  bool loadFailed_ = false;
};
