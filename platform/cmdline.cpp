#include "platform/cmdline.hpp"

#include <cstring>

#include "platform/socket.hpp"

namespace fwk {

namespace {

bool parse_port(const std::string& text, int& port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > kLastFirstPort) return false;
  port = value;
  return true;
}

}  // namespace

int cmdline_take_value(const char* name, int argc, const char* const* argv, int& i,
                       std::string& value) {
  const char* arg = argv[i];
  size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) != 0) return 0;
  if (arg[n] == '=') {
    value = arg + n + 1;
    return 1;
  }
  if (arg[n] != '\0') return 0;
  if (i + 1 >= argc) return -1;
  value = argv[++i];
  return 1;
}

bool cmdline_parse(int argc, const char* const* argv, CommandLine& out, std::string& error) {
  int first = 1;
  if (argc > 1 && std::strcmp(argv[1], "outbox") == 0) {
    out.outbox = true;
    first = 2;
  }
  for (int i = first; i < argc; ++i) {
    const char* arg = argv[i];
    std::string value;
    int taken = cmdline_take_value("--root", argc, argv, i, value);
    if (taken == 1) {
      if (value.empty()) {
        error = "--root needs a directory";
        return false;
      }
      out.root = value;
      continue;
    }
    if (taken == 0) taken = cmdline_take_value("--port", argc, argv, i, value);
    if (taken == 1) {
      if (!parse_port(value, out.first_port)) {
        error = "--port needs a number from 1 to " + std::to_string(kLastFirstPort) + ", not '" +
                value + "'";
        return false;
      }
      out.port_given = true;
      continue;
    }
    if (taken == 0) taken = cmdline_take_value("--listen", argc, argv, i, value);
    if (taken == 1) {
      if (!ipv4_parse(value.c_str(), &out.listen_address)) {
        error = "--listen needs an IPv4 address such as 127.0.0.1, not '" + value + "'";
        return false;
      }
      continue;
    }
    if (taken == 0 && out.outbox) taken = cmdline_take_value("--drop", argc, argv, i, out.outbox_drop);
    if (taken == 1) continue;
    if (taken == -1) {
      error = std::string(arg) + " needs a value";
      return false;
    }
    if (out.outbox && std::strcmp(arg, "--retry") == 0) {
      out.outbox_retry = true;
    } else if (std::strcmp(arg, "--headless") == 0) {
      out.headless = true;
    } else if (std::strcmp(arg, "--no-browser") == 0) {
      out.no_browser = true;
    } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      out.show_help = true;
    } else if (std::strcmp(arg, "--version") == 0) {
      out.show_version = true;
    } else if (arg[0] == '-') {
      error = std::string("unknown option '") + arg + "'";
      return false;
    } else {
      error = std::string("unexpected argument '") + arg + "'";
      return false;
    }
  }
  return true;
}

std::string cmdline_usage(const char* program) {
  std::string text = "Usage: ";
  text += program;
  text +=
      " [OPTION]...\n"
      "Serves the surveys of a server root to the browser.\n"
      "\n"
      "  --root DIR     server root (default: the registry value ServerRoot, else the\n"
      "                 sample root that ships with the program)\n"
      "  --port N       first port to try; ten ports N..N+9 are tried (default 81)\n"
      "  --listen ADDR  IPv4 address to listen on (default: every interface, so the\n"
      "                 tablets of the network can reach the server; 127.0.0.1\n"
      "                 serves this device only)\n"
      "  --headless     open no browser and do not read standard input\n"
      "  --no-browser   open no browser at start; console commands still work\n"
      "  --help         show this help and exit\n"
      "  --version      show the version and exit\n";
  return text;
}

}  // namespace fwk
