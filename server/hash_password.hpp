// "fwkhttpd hash-password": reads a password from standard input (without
// echo on a terminal, where it is asked twice) and prints its yescrypt
// hash, to be written into a form's password key or password file instead
// of the password itself.
#pragma once

#include <string>

namespace fwk {

// Exit codes: 0 the hash was printed; 1 no hash could be made; 2 wrong
// use, no password, or one that no request could offer (see
// password_problem). argv[0] is "hash-password".
int hash_password_main(int argc, const char* const* argv);

// "" when a request could offer `password` as one word of _PASSWORD (and a
// respondent type it as an ID), else why not.
std::string password_problem(const std::string& password);

}  // namespace fwk
