// The model file is read without a cache (every read sees the file as it is now) and every write
// replaces the file atomically; these measure what that costs on a model file of realistic size.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/inifile.h"

namespace {

std::string MakeModelFile() {
  const std::string path = "/tmp/korzem-bench-" + std::to_string(::getpid()) + ".ini";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  for (int section = 0; section < 30; ++section) {
    std::fprintf(file, "[Section%d]\r\n; comment line\r\n", section);
    for (int key = 0; key < 20; ++key) std::fprintf(file, "Key%d=0x%04X\r\n", key, key * 7);
  }
  std::fprintf(file, "[Config]\r\nTotalKJ=123.5\r\n");
  std::fclose(file);
  return path;
}

void BM_IniReadLastKey(benchmark::State& state) {
  const std::string path = MakeModelFile();
  TiFile ini(path);
  for (auto _ : state) benchmark::DoNotOptimize(ini.ReadFloat("Config", "TotalKJ", 0));
  ::unlink(path.c_str());
}
BENCHMARK(BM_IniReadLastKey)->Unit(benchmark::kMicrosecond);

void BM_IniWriteDurable(benchmark::State& state) {
  const std::string path = MakeModelFile();
  TiFile ini(path);
  double value = 0;
  for (auto _ : state) benchmark::DoNotOptimize(ini.WriteFloat("Config", "TotalKJ", value += 1));
  ::unlink(path.c_str());
}
BENCHMARK(BM_IniWriteDurable)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace

BENCHMARK_MAIN();
