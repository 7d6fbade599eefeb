#include "core/stamp.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/registry.hpp"
#include "platform/testing/scoped_env.hpp"
#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

DateTime at(int y, int mo, int d, int h, int mi, int s) {
  return DateTime{y, mo, d, h, mi, s};
}

TEST(Stamp, FixedWidthDateAndTimeTexts) {
  DateTime t = at(2004, 3, 7, 9, 5, 3);
  EXPECT_EQ(stamp_date_text(t), "20040307");
  EXPECT_EQ(stamp_time_text(t), "090503");
  std::string date, time;
  time_stamp(&date, &time);
  EXPECT_EQ(date.size(), 8u);
  EXPECT_EQ(time.size(), 6u);
  time_stamp(nullptr, &time);
}

TEST(Stamp, UtcTextsAcrossLeapDaysAndBefore1970) {
  EXPECT_EQ(utc_stamp_text(0, false), "1970-01-01T00:00:00Z");
  EXPECT_EQ(utc_stamp_text(1765172272123456, true), "2025-12-08T05:37:52.123456Z");
  EXPECT_EQ(utc_stamp_text(951782400000000, false), "2000-02-29T00:00:00Z");
  EXPECT_EQ(utc_stamp_text(-1, true), "1969-12-31T23:59:59.999999Z");
  EXPECT_EQ(unix_seconds_of_utc(at(2025, 12, 8, 5, 37, 52)), 1765172272);
  EXPECT_EQ(unix_seconds_of_utc(at(2000, 2, 29, 0, 0, 0)), 951782400);
}

TEST(Base32, LeastSignificantDigitFirstAndNothingForZero) {
  EXPECT_EQ(base32_text(0), "");
  EXPECT_EQ(base32_text(31), "v");
  EXPECT_EQ(base32_text(32), "01");
  EXPECT_EQ(base32_text(0xFFFFFFFFu), "vvvvvv3");
}

TEST(UniqueIdFormat, MixesTheCounterWithThePackedTime) {
  // In 2000 no year digits follow the "x". The time packs to 0x264943;
  // the mask 0x55AA55AA trades bits of the two halves.
  EXPECT_EQ(unique_id_format(0x12345678u, at(2000, 3, 7, 9, 5, 3)), "xiqgc31Y93n828");
  EXPECT_EQ(unique_id_format(0, at(2004, 1, 1, 0, 0, 0)), "x4Y");
  std::string longest = unique_id_format(0xFFFFFFFFu, at(1999, 12, 31, 23, 59, 59));
  EXPECT_LE(longest.size(), 23u);
}

// The user hive and the runtime directory live in a temporary directory.
struct UniqueIdTest : ::testing::Test {
  TempDir dir;
  ScopedEnv config{"XDG_CONFIG_HOME", dir.at("config").c_str()};
  ScopedEnv runtime{"XDG_RUNTIME_DIR", dir.at("run").c_str()};
  void SetUp() override { std::filesystem::create_directories(dir.at("run")); }
};

TEST_F(UniqueIdTest, WithoutTheKeyIdentifiersDifferAndNothingIsStored) {
  // A hive with other keys only: the program's key is never created.
  std::string hive = "[SOFTWARE\\Other]\nRANDOM=5\n";
  ASSERT_TRUE(reg_create_key(Hive::user, "SOFTWARE\\Other"));
  std::optional<RegistryKey> other = reg_open_key(Hive::user, "SOFTWARE\\Other");
  ASSERT_TRUE(other && reg_write_dword(*other, kCounterValue, 5));
  EXPECT_EQ(dir.read("config/formwick/registry.ini"), hive);

  std::string first = unique_id(nullptr);
  std::string second;
  for (int i = 0; i < 1000 && (second.empty() || second == first); ++i) second = unique_id(nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(first[0], 'x');
  EXPECT_NE(first.find('Y'), std::string::npos);
  EXPECT_EQ(dir.read("config/formwick/registry.ini"), hive);
}

TEST_F(UniqueIdTest, CounterIsStoredKeepingItsLowBits) {
  ASSERT_TRUE(reg_create_key(Hive::user, kProgramKey));
  std::optional<RegistryKey> key = reg_open_key(Hive::user, kProgramKey);
  ASSERT_TRUE(key);
  ASSERT_TRUE(reg_write_dword(*key, kCounterValue, 0x0001BEEFu));
  std::set<std::string> ids;
  for (int i = 0; i < 20; ++i) ids.insert(unique_id("mix"));
  std::optional<uint32_t> counter = reg_read_dword(*key, kCounterValue);
  ASSERT_TRUE(counter);
  EXPECT_EQ(*counter & 0xFFFFu, 0xBEEFu);
  EXPECT_NE(*counter >> 16, 1u);
  EXPECT_GE(ids.size(), 2u);

  // The high half advances by the mixing text's characters (signed bytes:
  // "a" 97, "\xE9" -23) plus the tick count read during the call.
  ASSERT_TRUE(reg_write_dword(*key, kCounterValue, 0x0001BEEFu));
  uint32_t before = clock_tick_ms();
  unique_id("a\xE9");
  uint32_t after = clock_tick_ms();
  counter = reg_read_dword(*key, kCounterValue);
  ASSERT_TRUE(counter);
  EXPECT_EQ(*counter & 0xFFFFu, 0xBEEFu);
  uint32_t advanced = ((*counter >> 16) - 1u - 74u - before) & 0xFFFFu;
  EXPECT_LE(advanced, (after - before) & 0xFFFFu);
}

}  // namespace
}  // namespace fwk
