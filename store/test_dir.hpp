// A scratch directory for the store's unit tests, removed afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace fwk {

struct TestDir {
  std::filesystem::path path;

  TestDir() {
    std::random_device random;
    path = std::filesystem::temp_directory_path() /
           ("fwk_store_" + std::to_string(random()) + "_" + std::to_string(random()));
    std::filesystem::create_directories(path);
  }
  ~TestDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  TestDir(const TestDir&) = delete;
  TestDir& operator=(const TestDir&) = delete;

  std::string file(const std::string& name) const { return (path / name).string(); }

  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path / name, std::ios::binary) << bytes;
    return file(name);
  }

  std::string read(const std::string& name) const {
    std::ifstream in(path / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

}  // namespace fwk
