// The command line of "fwkhttpd check".
#include <string>
#include <vector>

#include "check/check_run.hpp"
#include "platform/console.hpp"
#include "platform/socket.hpp"
#include "server/startup.hpp"
#include "server/subcommands.hpp"

namespace fwk {

namespace {

constexpr const char* kUsageHint = "\nTry 'fwkhttpd --help'.\n";

// "--name value" or "--name=value": 1 taken, 0 not this option, -1 no value.
int option_value(const char* name, int argc, const char* const* argv, int& i, std::string& value) {
  const std::string arg = argv[i];
  const std::string option = name;
  if (arg.compare(0, option.size() + 1, option + "=") == 0) {
    value = arg.substr(option.size() + 1);
    return 1;
  }
  if (arg != option) return 0;
  if (i + 1 >= argc) return -1;
  value = argv[++i];
  return 1;
}

// A form named with its configuration file's extension is the same form.
std::string form_name_of(std::string word) {
  if (word.size() > 4 && word.compare(word.size() - 4, 4, ".ini") == 0)
    word.resize(word.size() - 4);
  return word;
}

int usage_error(const std::string& message) {
  console_write_error("fwkhttpd check: " + message + kUsageHint);
  return kCheckRootUnusable;
}

}  // namespace

int check_command(int argc, const char* const* argv) {
  CheckOptions options;
  std::string root_option;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string value;
    int taken = 0;
    if ((taken = option_value("--root", argc, argv, i, value)) == 1) {
      if (value.empty()) return usage_error("--root needs a directory");
      root_option = value;
    } else if (taken == 0 && (taken = option_value("--listen", argc, argv, i, value)) == 1) {
      uint32_t address = 0;
      if (!ipv4_parse(value.c_str(), &address))
        return usage_error("--listen needs an IPv4 address such as 127.0.0.1, not '" + value + "'");
      options.beyond_loopback = !ipv4_is_loopback(address);
    } else if (taken == 0 && (taken = option_value("--create-data", argc, argv, i, value)) == 1) {
      options.create_data = form_name_of(value);
    } else if (taken == -1) {
      return usage_error(arg + " needs a value");
    } else if (arg == "--help" || arg == "-h") {
      console_write(subcommands_usage());
      return kCheckClean;
    } else if (!arg.empty() && arg[0] == '-') {
      return usage_error("unknown option '" + arg + "'");
    } else {
      options.forms.push_back(form_name_of(arg));
    }
  }
  if (!options.create_data.empty() && !options.forms.empty())
    return usage_error("--create-data takes one form and no other");
  options.root = find_server_root(root_option);
  // Paths are shown below the root as the user named it ("--root ." shows
  // them as they are named in the root).
  options.shown_root = options.root;
  if (!root_option.empty()) {
    options.shown_root = root_option;
    if (options.shown_root.back() != '/') options.shown_root += '/';
    if (options.shown_root == "./") options.shown_root.clear();
  }
  std::string out;
  std::string err;
  int code = check_run(options, out, err);
  console_write(out);
  if (!err.empty()) console_write_error(err);
  return code;
}

}  // namespace fwk
