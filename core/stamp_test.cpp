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

TEST(UniqueIdText, YearThenTwoBase32NumbersAroundY) {
  // In 2000 no year digits follow the "x".
  EXPECT_EQ(unique_id_text(2000, 0x12345678u, 1), "xojl839Y1");
  EXPECT_EQ(unique_id_text(2004, 0, 0), "x4Y");
  EXPECT_EQ(unique_id_text(2026, 0xFFFFFFFFu, 0xFFFFFFFFu), "xqvvvvvv3Yvvvvvv3");
  EXPECT_LE(unique_id_text(2999, 0xFFFFFFFFu, 0xFFFFFFFFu).size(), 23u);
}

// Identifiers come from the random source alone: the registry is neither
// read nor written, and none repeats.
TEST(UniqueId, RandomDistinctAndNothingStored) {
  TempDir dir;
  ScopedEnv config{"XDG_CONFIG_HOME", dir.at("config").c_str()};
  ASSERT_TRUE(reg_create_key(Hive::user, kProgramKey));
  const std::string hive = dir.read("config/formwick/registry.ini");
  const std::string year = base32_text(static_cast<uint32_t>(clock_system_time().year - 2000));
  std::set<std::string> ids;
  size_t long_enough = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string id = unique_id();
    ASSERT_EQ(id.compare(0, 1 + year.size(), "x" + year), 0) << id;
    ASSERT_NE(id.find('Y'), std::string::npos);
    ASSERT_LE(id.size(), 23u);
    long_enough += id.size() >= 1 + year.size() + 6 + 1 + 6 ? 1 : 0;
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 20000u);
  // Both numbers carry about 32 bits: nearly every one needs 6 or 7 digits.
  EXPECT_GT(long_enough, 19000u);
  EXPECT_EQ(dir.read("config/formwick/registry.ini"), hive);
}

}  // namespace
}  // namespace fwk
