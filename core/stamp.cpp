#include "core/stamp.hpp"

#include <array>
#include <cstdio>

#include "platform/named_mutex.hpp"
#include "platform/registry.hpp"

namespace fwk {

namespace {

constexpr uint32_t kCounterMutexWaitMs = 20000;

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

std::string unique_id_format(uint32_t n, const DateTime& t) {
  auto u = [](int v) { return static_cast<uint32_t>(v); };
  uint32_t packed = (u(t.month - 1) << 20) | (u(t.day - 1) << 16) |
                    (((u(t.hour) << 5) | u(t.minute)) << 6) | u(t.second);
  uint32_t mask = (n ^ packed) & 0x55AA55AAu;
  uint32_t a = n ^ mask;
  uint32_t b = packed ^ mask;
  return "x" + base32_text(u(t.year - 2000)) + base32_text(a) + "Y" + base32_text(b);
}

std::string unique_id_format(uint32_t n) {
  return unique_id_format(n, clock_system_time());
}

std::string unique_id(const char* mixing_text) {
  NamedMutex mutex = named_mutex_open(kCounterMutex);
  named_mutex_wait(mutex, kCounterMutexWaitMs);  // a timeout does not stop us

  std::optional<RegistryKey> key = reg_open_key(Hive::user, kProgramKey);
  uint32_t counter = 0;
  if (key) counter = reg_read_dword(*key, kCounterValue).value_or(0);

  uint32_t high = counter >> 16;
  for (const char* p = mixing_text; p && *p; ++p) {
    high += static_cast<uint32_t>(static_cast<int>(static_cast<signed char>(*p)));
  }
  high += clock_tick_ms();
  uint32_t n = (counter & 0xFFFFu) | (high << 16);
  std::string id = unique_id_format(n);

  if (key) reg_write_dword(*key, kCounterValue, n);
  named_mutex_close(mutex);
  return id;
}

}  // namespace fwk
