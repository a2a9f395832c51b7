// adapter-sim: plays the adapter on a pseudo-terminal linked as COMn into a
// port directory, until it is interrupted or terminated.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "sim/adapter_sim.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnSignal(int) { stopRequested = 1; }

void Usage() {
  std::fprintf(stderr,
               "usage: adapter-sim --dir DIR [--port N] [--model TEXT] [--silent] [--delay MS]\n"
               "                   [--byte-gap MS] [--nul] [--wire] [--commands]\n"
               "  --dir DIR       port directory to link COMn into (what TR20KX_PORT_DIR names)\n"
               "  --port N        the port number, COM1 by default\n"
               "  --model TEXT    identity text in the replies (\"MOLVEX TR20KX\")\n"
               "  --silent        answer nothing\n"
               "  --delay MS      pause before each reply\n"
               "  --byte-gap MS   send replies a byte at a time, MS apart\n"
               "  --nul           put a NUL after every reply byte\n"
               "  --wire          carry at most 11520 bytes/s each way (115200 bit/s)\n"
               "  --commands      print each command received, and at the end what the loader took\n");
}

}  // namespace

int main(int argc, char** argv) {
  sim::Options options;
  std::string dir;
  int port = 1;
  bool printCommands = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--dir" && hasValue) {
      dir = argv[++i];
    } else if (arg == "--port" && hasValue) {
      port = std::atoi(argv[++i]);
    } else if (arg == "--model" && hasValue) {
      options.model = argv[++i];
    } else if (arg == "--silent") {
      options.silent = true;
    } else if (arg == "--delay" && hasValue) {
      options.replyDelayMs = std::atoi(argv[++i]);
    } else if (arg == "--byte-gap" && hasValue) {
      options.byteGapMs = std::atoi(argv[++i]);
    } else if (arg == "--nul") {
      options.nulBytes = true;
    } else if (arg == "--wire") {
      options.emulateWire = true;
    } else if (arg == "--commands") {
      printCommands = true;
    } else {
      Usage();
      return 2;
    }
  }
  if (dir.empty() || port < 0 || port > 99) {
    Usage();
    return 2;
  }

  sim::AdapterSim adapter(options);
  if (!adapter.Start(dir, port)) {
    std::fprintf(stderr, "adapter-sim: %s\n", adapter.Error().c_str());
    return 1;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::printf("adapter-sim: %s -> %s\n", adapter.LinkPath().c_str(), adapter.DevicePath().c_str());
  std::fflush(stdout);
  std::size_t printed = 0;
  const auto printNewCommands = [&] {
    if (!printCommands) return;
    const std::vector<std::string> commands = adapter.Commands();
    for (; printed < commands.size(); ++printed) std::printf("command: %s\n", commands[printed].c_str());
    std::fflush(stdout);
  };
  while (!stopRequested) {
    printNewCommands();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  printNewCommands();
  if (printCommands) {
    const sim::LoaderReport loader = adapter.Loader();
    std::printf("loader: %s, %zu images, %d records, %d bad\n", loader.erased ? "erased" : "not erased",
                loader.images.size(), loader.records, loader.badRecords);
  }
  adapter.Stop();
  return 0;
}
