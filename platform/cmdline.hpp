// Command line of the device server program.
#pragma once

#include <cstdint>
#include <string>

namespace fwk {

struct CommandLine {
  std::string root;         // --root DIR; "" when not given
  int first_port = 81;      // --port N: the first of ten ports tried
  bool port_given = false;  // --port was given
  // --listen ADDRESS: the IPv4 address to listen on, network byte order;
  // 0 (the default) is every interface.
  uint32_t listen_address = 0;
  bool headless = false;    // --headless: no browser, standard input not read
  bool no_browser = false;  // --no-browser: no browser at start, console still read
  bool show_help = false;
  bool show_version = false;
  // "fwkhttpd outbox": show the mail queue of the root instead of serving;
  // --retry asks for held mail to be tried now, --drop ID sets one apart.
  bool outbox = false;
  bool outbox_retry = false;
  std::string outbox_drop;
};

constexpr int kLastFirstPort = 65535 - 9;  // the ten ports N..N+9 must all exist

// Parses argv into `out`. Returns false with a one-line reason in `error` for an
// unknown option, a missing or malformed value, or a stray argument.
bool cmdline_parse(int argc, const char* const* argv, CommandLine& out, std::string& error);

// One option with a value, "--name value" or "--name=value", at argv[i]:
// 1 when it is that option (value stored, i advanced past it), 0 when it is
// not, -1 when the value is missing.
int cmdline_take_value(const char* name, int argc, const char* const* argv, int& i,
                       std::string& value);

// The text printed for --help.
std::string cmdline_usage(const char* program);

}  // namespace fwk
