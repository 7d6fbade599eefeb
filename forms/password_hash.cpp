#include "forms/password_hash.hpp"

#include <crypt.h>

#include <array>
#include <memory>

namespace fwk {

namespace {

constexpr std::string_view kHashPrefixes[] = {"$y$", "$2b$", "$6$"};
constexpr const char* kNewHashPrefix = "$y$";

// Compares without stopping at the first difference, so that the time
// taken says nothing of where two hashes differ.
bool same_text(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i)
    difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

// crypt_r of `password` with `setting` (a stored hash or a fresh salt);
// "" when the library refuses (it then returns a text beginning with "*").
std::string crypt_text(std::string_view password, const std::string& setting) {
  // The text handed to crypt_r ends at its first NUL: a password holding one
  // could otherwise match a shorter one.
  if (password.find('\0') != std::string_view::npos) return "";
  auto area = std::make_unique<crypt_data>();  // zeroed: a fresh area
  const std::string phrase(password);
  const char* hashed = crypt_r(phrase.c_str(), setting.c_str(), area.get());
  if (hashed == nullptr || hashed[0] == '*') return "";
  return hashed;
}

}  // namespace

bool password_is_hash(std::string_view stored) {
  for (std::string_view prefix : kHashPrefixes) {
    if (stored.size() > prefix.size() && stored.substr(0, prefix.size()) == prefix) return true;
  }
  return false;
}

bool password_matches(std::string_view stored, std::string_view offered) {
  if (!password_is_hash(stored)) return stored == offered;
  std::string hashed = crypt_text(offered, std::string(stored));
  return !hashed.empty() && same_text(hashed, stored);
}

bool password_matches(std::string_view stored, std::string_view offered,
                      VerifiedPasswords* verified) {
  if (verified == nullptr || !password_is_hash(stored)) return password_matches(stored, offered);
  {
    std::lock_guard<std::mutex> hold(verified->mutex);
    for (const auto& [hash, password] : verified->pairs) {
      if (hash == stored && password == offered) return true;
    }
  }
  // Hashing takes long on purpose: not under the lock.
  if (!password_matches(stored, offered)) return false;
  std::lock_guard<std::mutex> hold(verified->mutex);
  auto& pairs = verified->pairs;
  if (pairs.size() >= kVerifiedPasswordsKept) pairs.erase(pairs.begin());
  pairs.emplace_back(stored, offered);
  return true;
}

std::string password_hash_make(std::string_view password) {
  std::array<char, CRYPT_GENSALT_OUTPUT_SIZE> salt{};
  if (crypt_gensalt_rn(kNewHashPrefix, 0, nullptr, 0, salt.data(), static_cast<int>(salt.size())) ==
      nullptr) {
    return "";
  }
  return crypt_text(password, salt.data());
}

}  // namespace fwk
