// Lays out a job for the benchmarks that drive the command line: adds it
// to the catalogue of the data folder in use (XDG_DATA_HOME) with its
// source folders and options; or a synchronisation of a pair of folders.
//
//   bench_makejob NAME TARGET [--option KEY=VALUE]... SOURCE...
//   bench_makejob --sync NAME FIRST SECOND
//
// Writes the catalogue, the job's list file and, with options, its
// options file; with --sync the list of synchronisations. Exit code 0, or
// 1 with a line on standard error.
#include <cstdio>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "core/catalogue/daten.h"
#include "core/catalogue/jobopt.h"
#include "core/sync/syncdefs.h"

namespace {

int MakeSync(const SyncDefinition& definition) {
  const std::string path = tBackups::GetDataDir() + SyncDefinitions::kFileName;
  SyncDefinitions all;
  if (all.Load(path) == SyncDefinitions::LoadResult::Unreadable) {
    std::fprintf(stderr, "list of synchronisations unreadable\n");
    return 1;
  }
  const std::string refusal = all.Refusal(definition);
  if (!refusal.empty() || !all.Add(definition) || all.Save(path) != 0) {
    std::fprintf(stderr, "cannot write the synchronisation: %s\n", refusal.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--sync") return MakeSync({argv[2], argv[3], argv[4]});
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: bench_makejob NAME TARGET [--option KEY=VALUE]... SOURCE...\n"
                 "       bench_makejob --sync NAME FIRST SECOND\n");
    return 2;
  }
  const std::string name = argv[1];
  const std::string target = argv[2];
  JobOptions options;
  bool anyOption = false;
  std::vector<std::string> sources;
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--option" && i + 1 < argc) {
      const std::string kv = argv[++i];
      const auto eq = kv.find('=');
      if (eq == std::string::npos ||
          options.Set(kv.substr(0, eq), kv.substr(eq + 1)) != JobOptions::SetResult::Done) {
        std::fprintf(stderr, "bad option %s\n", kv.c_str());
        return 1;
      }
      anyOption = true;
    } else {
      sources.push_back(a);
    }
  }
  tBackups jobs;
  if (jobs.LoadCatalogue() == tBackups::LoadResult::Unreadable) {
    std::fprintf(stderr, "catalogue unreadable\n");
    return 1;
  }
  const int index = jobs.AddJob(name, target, 0, 0);
  const std::string data = tBackups::GetDataDir();
  if (textfile::WriteLines(data + jobs.GetListFileName(index), sources) != 0 ||
      (anyOption && options.Save(data + jobs.GetOptionsFileName(index)) != 0) ||
      !jobs.SaveCatalogue()) {
    std::fprintf(stderr, "cannot write the job\n");
    return 1;
  }
  return 0;
}
