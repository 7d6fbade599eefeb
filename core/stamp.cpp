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
