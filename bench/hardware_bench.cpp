// What one register-access operation costs on the simulated PC, counted in control calls (the
// figure that matters on Windows, where each is a trip into the kernel) and in time.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/forwardinglink.h"
#include "hw/inprocesslink.h"
#include "hw/readwrite.h"
#include "os/test/fakedriverservice.h"
#include "os/test/fakesingleinstance.h"
#include "os/test/fakesystem.h"
#include "script/interpreter.h"
#include "sim/simboard.h"

namespace {

// Counts the control calls a link passes on.
class TCountingLink : public TForwardingLink {
 public:
  TCountingLink(std::unique_ptr<IDriverLink> inner, uint64_t& calls)
      : TForwardingLink(std::move(inner)), Calls_(calls) {}
  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned) override {
    ++Calls_;
    return TForwardingLink::Control(code, in, inSize, out, outSize, returned);
  }

 private:
  uint64_t& Calls_;
};

struct TRig {
  std::unique_ptr<TSimMachine> Machine;
  TFakeDriverService Service;
  TFakeOsSystem System;
  std::unique_ptr<TReadWrite> Rw;
  uint64_t Calls = 0;

  TRig() {
    std::string error;
    Machine =
        CreateSimMachine("p35-core2", std::string(KORZEM_SOURCE_DIR) + "/data/boards", &error);
    if (!Machine) throw std::runtime_error(error);
    Service.DriverLoaded = true;
    Service.MakeDevice = [this] {
      return std::make_unique<TCountingLink>(std::make_unique<TInProcessLink>(*Machine), Calls);
    };
    Rw = std::make_unique<TReadWrite>(Service, System, TReadWriteSettings{});
  }
};

// The firmware-table search: 128 KiB of BIOS area on 16-byte steps, one map per 256-byte window.
void BM_MemorySearchBiosArea(benchmark::State& state) {
  TRig rig;
  const uint64_t before = rig.Calls;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rig.Rw->MemorySearch(0xE0000, 0x20000, "NO SUCH SIGNATURE", 0, 16));
  }
  state.counters["control_calls"] = benchmark::Counter(static_cast<double>(rig.Calls - before) /
                                                       static_cast<double>(state.iterations()));
}
BENCHMARK(BM_MemorySearchBiosArea)->Unit(benchmark::kMillisecond);

// A PCI search that finds nothing walks every bus and device.
void BM_FindPciDeviceMiss(benchmark::State& state) {
  TRig rig;
  const uint64_t before = rig.Calls;
  for (auto _ : state) benchmark::DoNotOptimize(rig.Rw->FindPciDeviceById(0xDEADBEEF, 0));
  state.counters["control_calls"] = benchmark::Counter(static_cast<double>(rig.Calls - before) /
                                                       static_cast<double>(state.iterations()));
}
BENCHMARK(BM_FindPciDeviceMiss)->Unit(benchmark::kMillisecond);

// One Super I/O style configuration read as the chip database scripts do it.
void BM_ScriptIndexRead(benchmark::State& state) {
  TRig rig;
  TFakeInstancePoster poster;
  TInterpreter interpreter({*rig.Rw, 2, poster});
  for (auto _ : state) benchmark::DoNotOptimize(interpreter.Execute("O 70H 0BH; I 71H"));
}
BENCHMARK(BM_ScriptIndexRead)->Unit(benchmark::kMicrosecond);

}  // namespace
