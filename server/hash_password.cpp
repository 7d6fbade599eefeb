#include "server/hash_password.hpp"

#include <cstring>

#include "core/limits.hpp"
#include "forms/password_hash.hpp"
#include "platform/console.hpp"

namespace fwk {

namespace {

constexpr const char* kUsage =
    "Usage: fwkhttpd hash-password\n"
    "Reads a password from standard input (asked twice, without echo, on a\n"
    "terminal) and prints its hash. Write the hash in place of the password:\n"
    "  PWDREAD=$y$j9T$...   in a form's section \"access\", or as a word of its\n"
    "  PWDFILE. Passwords written in clear keep working.\n";

}  // namespace

std::string password_problem(const std::string& password) {
  if (password.empty()) return "the password is empty";
  if (password.size() > kAccessValueLimit) {
    return "the password is longer than " + std::to_string(kAccessValueLimit) + " bytes";
  }
  for (unsigned char c : password) {
    if (c == ' ' || c == ',') return "a password cannot hold a space or a comma";
    if (c < 0x20 || c == 0x7f) return "a password cannot hold control characters";
  }
  return "";
}

int hash_password_main(int argc, const char* const* argv) {
  if (argc > 1) {
    bool help = std::strcmp(argv[1], "--help") == 0;
    (help ? console_write : console_write_error)(kUsage);
    return help ? 0 : 2;
  }
  std::string password;
  if (!console_read_secret("Password: ", &password)) {
    console_write_error("fwkhttpd hash-password: no password was given\n");
    return 2;
  }
  std::string problem = password_problem(password);
  if (!problem.empty()) {
    console_write_error("fwkhttpd hash-password: " + problem + "\n");
    return 2;
  }
  if (console_input_is_terminal()) {
    std::string again;
    if (!console_read_secret("Again: ", &again) || again != password) {
      console_write_error("fwkhttpd hash-password: the two passwords differ\n");
      return 2;
    }
  }
  std::string hash = password_hash_make(password);
  if (hash.empty()) {
    console_write_error("fwkhttpd hash-password: no hash could be made\n");
    return 1;
  }
  console_write(hash + "\n");
  return 0;
}

}  // namespace fwk
