// What the benchmark programs share: a scratch server root under the
// temporary directory, the files written into it, and a main that runs the
// benchmarks between making and removing it.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace fwk_bench {

// A new directory under the system's temporary directory, named `prefix`
// and a random number so that runs side by side do not meet.
inline std::filesystem::path make_scratch_dir(const std::string& prefix) {
  std::random_device random;
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / (prefix + std::to_string(random()));
  std::filesystem::create_directories(dir);
  return dir;
}

inline void write_file(const std::filesystem::path& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

// One quoted field of a data-file record with the tab that ends it.
inline std::string field(const std::string& text) {
  return "\"" + text + "\"\t";
}

// The body of a benchmark program's main: `create` makes the data set and
// returns its scratch directory, which is removed after the benchmarks the
// command line selects have run.
inline int run_with_data_set(int argc, char** argv, std::filesystem::path (*create)()) {
  std::filesystem::path dir = create();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return 0;
}

}  // namespace fwk_bench
