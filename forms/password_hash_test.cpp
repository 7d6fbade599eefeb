#include "forms/password_hash.hpp"

#include <gtest/gtest.h>

#include <string>

namespace fwk {
namespace {

// Made with other tools (bcrypt cost 5, SHA-512): "Pin-2b" and "boss-6".
constexpr const char* kBcrypt = "$2b$05$WfsLztbZZaXUOBoEoyWDmOxcnWQr2gFh8KyCHAKyCsW8IlqF9/uZW";
constexpr const char* kSha512 =
    "$6$TyHdk59Ei1ZkkWch$EpoTz9.XS/65rtoxOAvYJy6.FpWoiLTPPXKxqfhbuQPKtaiALGt9NISTMmYjPwywIXh40/"
    "DLT1cGblRc7eVn7/";

TEST(PasswordHash, HashesOfEachKindAndClearPasswords) {
  std::string made = password_hash_make("s3cret");
  ASSERT_EQ(made.rfind("$y$", 0), 0u) << made;
  EXPECT_NE(password_hash_make("s3cret"), made);  // a fresh salt each time
  EXPECT_TRUE(password_matches(made, "s3cret"));
  EXPECT_FALSE(password_matches(made, "s3creT"));
  EXPECT_FALSE(password_matches(made, ""));
  EXPECT_TRUE(password_matches(kBcrypt, "Pin-2b"));
  EXPECT_FALSE(password_matches(kBcrypt, "pin-2b"));
  EXPECT_TRUE(password_matches(kSha512, "boss-6"));
  EXPECT_FALSE(password_matches(kSha512, "boss-7"));
  // A password that holds a NUL is not its shorter prefix.
  EXPECT_FALSE(password_matches(made, std::string("s3cret\0x", 8)));
  // Anything else is a clear password, even when crypt(3) would read it as
  // an old kind of hash (two salt characters).
  EXPECT_FALSE(password_is_hash("ab01234567890"));
  EXPECT_TRUE(password_matches("ab01234567890", "ab01234567890"));
  EXPECT_FALSE(password_matches("ab01234567890", "x"));
  EXPECT_FALSE(password_is_hash("$y$"));
  EXPECT_FALSE(password_matches("$1$abc$def", "x"));
}

TEST(PasswordHash, MatchesAreRememberedAndBounded) {
  VerifiedPasswords verified;
  EXPECT_TRUE(password_matches(kSha512, "boss-6", &verified));
  EXPECT_FALSE(password_matches(kSha512, "boss-7", &verified));
  ASSERT_EQ(verified.pairs.size(), 1u);
  EXPECT_TRUE(password_matches(kSha512, "boss-6", &verified));
  EXPECT_EQ(verified.pairs.size(), 1u);
  while (verified.pairs.size() < kVerifiedPasswordsKept) verified.pairs.emplace_back("$6$x", "y");
  EXPECT_TRUE(password_matches(kBcrypt, "Pin-2b", &verified));
  EXPECT_EQ(verified.pairs.size(), kVerifiedPasswordsKept);
  EXPECT_EQ(verified.pairs.front().second, "y");  // the oldest went
  EXPECT_EQ(verified.pairs.back().second, "Pin-2b");
}

}  // namespace
}  // namespace fwk
