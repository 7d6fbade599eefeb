#include "server/startup.hpp"

#include <filesystem>

#include "core/ini.hpp"
#include "core/paths.hpp"
#include "platform/dirsearch.hpp"
#include "platform/registry.hpp"
#include "http/listener.hpp"

namespace fwk {

namespace {

std::string absolute_directory(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  std::string text = error ? path : absolute.lexically_normal().string();
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

}  // namespace

std::string sample_server_root() {
  std::string program = program_directory();
  if (!program.empty()) {
    std::string installed = absolute_directory(program + "../share/formwick/root");
    if (directory_exists(installed)) return installed;
  }
#ifdef FWK_SOURCE_DEMO_ROOT
  if (directory_exists(FWK_SOURCE_DEMO_ROOT)) return absolute_directory(FWK_SOURCE_DEMO_ROOT);
#endif
  return absolute_directory(program + "../share/formwick/root");
}

std::string find_server_root(const std::string& option_root) {
  if (!option_root.empty()) return absolute_directory(option_root);
  if (std::optional<RegistryKey> key = reg_open_key(Hive::machine, kProgramKey)) {
    std::optional<std::string> configured = reg_read_string(*key, "ServerRoot");
    if (configured && !configured->empty()) return absolute_directory(*configured);
  }
  return sample_server_root();
}

ParamListPtr load_server_settings(const std::string& root) {
  std::string path;
  if (!path_join(root.c_str(), path, "cgi.ini")) return nullptr;
  return ini_read_section(path.c_str(), "server", 0);
}

std::string running_message(const std::string& host_name, int port) {
  return "The server is running on port " + host_name + (host_name.empty() ? "" : ":") +
         std::to_string(port);
}

std::string privileged_fallback_message(int first_port, int fallback_port) {
  return "Ports " + std::to_string(first_port) + " to " +
         std::to_string(first_port + kListenAttempts - 1) +
         " need privileges this user does not have; ports from " + std::to_string(fallback_port) +
         " were tried instead.\n";
}

void tidy_user_registry() {
  std::optional<RegistryKey> key = reg_open_key(Hive::user, kProgramKey);
  if (!key) return;
  reg_delete_value(*key, "RANDOM");
  if (reg_count_values(*key) == 0) reg_delete_key(Hive::user, kProgramKey);
}

}  // namespace fwk
