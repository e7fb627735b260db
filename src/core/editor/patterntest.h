// The tester of the options window: which files and folders of a job's
// source folders each exclusion pattern hits, walked as a backup walks
// (a folder a pattern hits is not entered, links are not followed).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PatternHits {
  std::string pattern;
  // False for a pattern that can hit nothing (it counts nothing).
  bool valid = true;
  std::int64_t files = 0;
  std::int64_t folders = 0;
  // The first kMostNames hit, as full paths (a folder ending with "/").
  std::vector<std::string> names;
};

struct PatternTestResult {
  // One per pattern, in their order.
  std::vector<PatternHits> hits;
  // Source folders that are not there or could not be listed.
  std::vector<std::string> unreadable;
  bool cancelled = false;
};

constexpr std::size_t kMostNames = 50;

// Walks `sources`; `proceed` (when given) is asked now and then and ends
// the walk with false.
PatternTestResult TestPatterns(const std::vector<std::string>& sources,
                               const std::vector<std::string>& patterns,
                               const std::function<bool()>& proceed = {});

// The result as lines for the window: per pattern its counts and names.
std::vector<std::string> PatternTestLines(const PatternTestResult& result);
