#include "server/subcommands.hpp"

#include <cstring>
#include <string>

#include "server/hash_password.hpp"
#include "server/outbox_command.hpp"

namespace fwk {

namespace {

constexpr Subcommand kSubcommands[] = {
    {"hash-password", hash_password_main,
     "reads a password from standard input and prints its hash for a form's\n"
     "                 configuration or password file"},
    {"outbox", outbox_main, "lists, retries or drops the mail waiting in the outbox"},
};

}  // namespace

const Subcommand* subcommand_find(int argc, char** argv) {
  if (argc < 2) return nullptr;
  for (const Subcommand& command : kSubcommands) {
    if (std::strcmp(argv[1], command.name) == 0) return &command;
  }
  return nullptr;
}

const char* subcommands_usage() {
  static const std::string text = [] {
    std::string lines = "\nCommands (fwkhttpd COMMAND --help for more):\n";
    for (const Subcommand& command : kSubcommands) {
      lines += "  ";
      lines += command.name;
      lines.append(std::strlen(command.name) < 15 ? 15 - std::strlen(command.name) : 1, ' ');
      lines += command.summary;
      lines += "\n";
    }
    return lines;
  }();
  return text.c_str();
}

}  // namespace fwk
