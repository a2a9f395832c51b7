// A private port directory with simulated adapters linked into it as COMn.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/adapter_sim.h"

class PortDirectory {
 public:
  PortDirectory() {
    char pattern[] = "/tmp/tr20kx-ports-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made != nullptr) path_ = made;
    setenv("TR20KX_PORT_DIR", path_.c_str(), 1);
  }
  ~PortDirectory() {
    adapters_.clear();
    unsetenv("TR20KX_PORT_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  // Starts a simulated adapter linked as COM<number>.
  sim::AdapterSim& Add(int number, sim::Options options = {}) {
    adapters_.push_back(std::make_unique<sim::AdapterSim>(std::move(options)));
    sim::AdapterSim& adapter = *adapters_.back();
    EXPECT_TRUE(adapter.Start(path_, number)) << adapter.Error();
    return adapter;
  }

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::vector<std::unique_ptr<sim::AdapterSim>> adapters_;
};
