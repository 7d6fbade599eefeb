#include "install/launcher.hpp"

#include <optional>

#include "platform/dirsearch.hpp"
#include "platform/registry.hpp"
#include "platform/spawn.hpp"

namespace fwk {

std::string install_description_path(const std::string& directory) {
  std::string path = directory;
  if (path.empty() || path.back() != '/') path += '/';
  return path + kInstallDescription;
}

int launcher_main() {
  std::optional<RegistryKey> key = reg_open_key(Hive::machine, kAppManagerKey);
  if (!key) return kLaunchKeyNotFound;
  // A value that cannot be read is never used: nothing is started.
  std::optional<std::string> program = reg_read_string(*key, "");
  if (!program || program->empty()) return kLaunchKeyNotFound;
  if (program->size() >= kProgramPathArea) return kLaunchValueTooLong;

  std::string directory = current_directory();
  if (directory.empty()) return kLaunchNoCurrentDirectory;
  // The path travels as one argument, so a directory with spaces arrives
  // whole.
  return shell_execute_open(*program, install_description_path(directory));
}

}  // namespace fwk
