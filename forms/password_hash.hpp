// Passwords stored as crypt(3) hashes: "$y$" (yescrypt), "$2b$" (bcrypt)
// and "$6$" (SHA-512), checked with libxcrypt. Any other stored text is a
// clear password and is compared as it stands.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fwk {

// True when `stored` is written as one of the hash kinds above.
bool password_is_hash(std::string_view stored);

// True when `offered` is the password that `stored` holds: for a hash, the
// offered password hashed with the stored setting gives the stored text;
// otherwise the two texts are equal (letter case counting).
bool password_matches(std::string_view stored, std::string_view offered);

// Passwords found to match a stored hash, kept so that a password carried
// from page to page is hashed once rather than at every request. At most
// kVerifiedPasswordsKept pairs (the oldest is dropped). Thread-safe.
constexpr std::size_t kVerifiedPasswordsKept = 64;
struct VerifiedPasswords {
  std::mutex mutex;
  std::vector<std::pair<std::string, std::string>> pairs;  // (hash, password), newest last
};

// password_matches, remembering what matched a hash in `verified` (which
// may be absent).
bool password_matches(std::string_view stored, std::string_view offered,
                      VerifiedPasswords* verified);

// A new yescrypt hash of `password` with a fresh random salt and the
// library's default cost; "" when none could be made.
std::string password_hash_make(std::string_view password);

}  // namespace fwk
