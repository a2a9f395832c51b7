// The whole upload of the six images through the progress dialog, against a
// simulated adapter that carries 115200 bit/s (11520 bytes/s) and runs in a
// process of its own, so that this process's processor time is the program's.
//
// Figures: the streaming time, summed over the images from their first byte to
// their end record as the adapter receives them, against the wire limit of
// 693404 bytes (the images without their line feeds) at 11520 bytes/s; and the
// processor time this process used for the whole upload.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "firmware/images.h"
#include "platform/headless.h"
#include "serial/port.h"
#include "serial/receive.h"
#include "sim/adapter_sim.h"
#include "ui/progress_dialog.h"

namespace {

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The adapter's process: plays the loader on the wire's pace, then writes the
// streaming time to `report` once all six images are in.
[[noreturn]] void RunAdapter(const std::string& dir, int report) {
  sim::Options options;
  options.emulateWire = true;
  sim::AdapterSim adapter(options);
  double seconds = -1;
  if (adapter.Start(dir, 1) && adapter.WaitForImages(6, 600000)) seconds = adapter.Loader().streamingSeconds;
  [[maybe_unused]] ssize_t ignored = write(report, &seconds, sizeof seconds);
  adapter.Stop();
  _exit(0);
}

void BM_UploadAtWireSpeed(benchmark::State& state) {
  char pattern[] = "/tmp/tr20kx-bench-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  setenv("TR20KX_PORT_DIR", dir.c_str(), 1);
  platform::headless::Use();
  LoadImageTable();
  long wireBytes = 0;
  for (int i = 0; i < IMAGE_COUNT; ++i)
    for (const char* p = imageTable[i]; *p != '\0'; ++p) wireBytes += *p != '\n';

  for (auto _ : state) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
      state.SkipWithError("no pipe");
      return;
    }
    const pid_t child = fork();
    if (child == 0) RunAdapter(dir, pipeFds[1]);
    close(pipeFds[1]);
    while (!std::filesystem::exists(dir + "/COM1")) std::this_thread::sleep_for(std::chrono::milliseconds(10));

    std::snprintf(portName, sizeof portName, "COM1");
    if (!OpenPort() || !ApplyLineSettings() || !StartReceiveThread()) {
      state.SkipWithError("cannot open the simulated line");
      return;
    }
    const double cpuBefore = ProcessCpuSeconds();
    RunProgressDialog(nullptr);
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    StopReceiveThread();

    double streaming = -1;
    [[maybe_unused]] ssize_t ignored = read(pipeFds[0], &streaming, sizeof streaming);
    close(pipeFds[0]);
    waitpid(child, nullptr, 0);

    const double limit = static_cast<double>(wireBytes) / sim::WIRE_BYTES_PER_SECOND;
    state.counters["wire_bytes"] = static_cast<double>(wireBytes);
    state.counters["wire_limit_s"] = limit;
    state.counters["streaming_s"] = streaming;
    state.counters["over_limit_percent"] = 100.0 * (streaming - limit) / limit;
    state.counters["program_cpu_s"] = cpu;
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_UploadAtWireSpeed)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
