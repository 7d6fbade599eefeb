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
