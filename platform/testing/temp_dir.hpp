// Unit-test support: a fresh temporary directory, removed with its contents
// when the object goes away.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace fwk {

struct TempDir {
  std::filesystem::path path;

  TempDir() {
    std::random_device random;
    path = std::filesystem::temp_directory_path() /
           ("fwk-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Writes a file below the directory (binary, exactly these bytes) and
  // returns its path.
  std::string write(const std::string& name, const std::string& bytes) const {
    std::filesystem::path file = path / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
  }

  // Path of a name below the directory.
  std::string at(const std::string& name) const { return (path / name).string(); }

  // The bytes of a file below the directory ("" when it cannot be read).
  std::string read(const std::string& name) const {
    std::ifstream in(path / name, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
};

}  // namespace fwk
