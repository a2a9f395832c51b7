// Receive-thread benchmarks against a simulated adapter on a pseudo-terminal:
// the processor time the thread takes while the line is idle, and the time from
// a byte written by the adapter to its arrival in the receive ring.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "serial/port.h"
#include "serial/receive.h"
#include "sim/adapter_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// An adapter linked as COM1 in a private port directory, opened and receiving.
class OpenLine {
 public:
  OpenLine() {
    char pattern[] = "/tmp/tr20kx-bench-XXXXXX";
    dir_ = mkdtemp(pattern);
    setenv("TR20KX_PORT_DIR", dir_.c_str(), 1);
    ok_ = adapter_.Start(dir_, 1);
    std::snprintf(portName, sizeof portName, "COM1");
    ok_ = ok_ && OpenPort() && ApplyLineSettings() && StartReceiveThread();
  }
  ~OpenLine() {
    StopReceiveThread();
    adapter_.Stop();
    std::filesystem::remove_all(dir_);
  }
  bool ok() const { return ok_; }
  sim::AdapterSim& adapter() { return adapter_; }

 private:
  std::string dir_;
  sim::AdapterSim adapter_;
  bool ok_ = false;
};

void BM_ReceiveThreadIdleCpu(benchmark::State& state) {
  OpenLine line;
  if (!line.ok()) {
    state.SkipWithError("cannot open the simulated line");
    return;
  }
  double percent = 0;
  for (auto _ : state) {
    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    percent = 100.0 * cpu / wall;
  }
  state.counters["cpu_percent_of_one_core"] = percent;
}
BENCHMARK(BM_ReceiveThreadIdleCpu)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ByteToRingLatency(benchmark::State& state) {
  OpenLine line;
  if (!line.ok()) {
    state.SkipWithError("cannot open the simulated line");
    return;
  }
  std::vector<double> micros;
  for (auto _ : state) {
    // Arrive at an idle line, as a reply does.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto sent = Clock::now();
    line.adapter().Send("x");
    char byte = 0;
    while (!RingGet(&byte)) {
    }
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
  }
  std::sort(micros.begin(), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[micros.size() * 99 / 100];
  state.counters["max_us"] = micros.back();
}
BENCHMARK(BM_ByteToRingLatency)->Iterations(500)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
