#include "core/stamp.hpp"

#include <array>
#include <cstdio>

#include "platform/random.hpp"

namespace fwk {

namespace {

std::string format_fields(const char* format, int a, int b, int c) {
  std::array<char, 40> text{};  // three int fields always fit
  std::snprintf(text.data(), text.size(), format, a, b, c);
  return text.data();
}

}  // namespace

std::string stamp_date_text(const DateTime& t) {
  return format_fields("%4.4d%2.2d%2.2d", t.year, t.month, t.day);
}

std::string stamp_time_text(const DateTime& t) {
  return format_fields("%2.2d%2.2d%2.2d", t.hour, t.minute, t.second);
}

void time_stamp(std::string* date, std::string* time) {
  DateTime now = clock_local_time();
  if (date) *date = stamp_date_text(now);
  if (time) *time = stamp_time_text(now);
}

std::string utc_stamp_text(int64_t unix_microseconds, bool with_microseconds) {
  int64_t seconds = unix_microseconds / 1000000;
  int64_t micros = unix_microseconds % 1000000;
  if (micros < 0) {
    micros += 1000000;
    seconds -= 1;
  }
  int64_t days = seconds / 86400;
  int64_t in_day = seconds % 86400;
  if (in_day < 0) {
    in_day += 86400;
    days -= 1;
  }
  // The civil date of a day count (Howard Hinnant's days_from_civil, inverted).
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(in_day / 3600),
                static_cast<long long>(in_day / 60 % 60), static_cast<long long>(in_day % 60));
  std::string out = text.data();
  if (with_microseconds) {
    std::snprintf(text.data(), text.size(), ".%06lld", static_cast<long long>(micros));
    out += text.data();
  }
  return out + "Z";
}

int64_t unix_seconds_of_utc(const DateTime& t) {
  // Howard Hinnant's days_from_civil.
  const int64_t year = t.year - (t.month <= 2 ? 1 : 0);
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t mp = t.month > 2 ? t.month - 3 : t.month + 9;
  const int64_t doy = (153 * mp + 2) / 5 + t.day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = era * 146097 + doe - 719468;
  return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

std::string base32_text(uint32_t n) {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuv";
  std::string out;
  for (; n != 0; n >>= 5) out += kDigits[n & 31];
  return out;
}

std::string unique_id_text(int year, uint32_t a, uint32_t b) {
  return "x" + base32_text(static_cast<uint32_t>(year - 2000)) + base32_text(a) + "Y" +
         base32_text(b);
}

std::string unique_id() {
  const uint64_t random = system_random_u64();
  return unique_id_text(clock_system_time().year, static_cast<uint32_t>(random),
                        static_cast<uint32_t>(random >> 32));
}

}  // namespace fwk
