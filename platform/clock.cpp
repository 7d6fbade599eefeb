#include "platform/clock.hpp"

#include <time.h>

namespace fwk {

namespace {

DateTime from_tm(const struct tm& t) {
  DateTime d;
  d.year = t.tm_year + 1900;
  d.month = t.tm_mon + 1;
  d.day = t.tm_mday;
  d.hour = t.tm_hour;
  d.minute = t.tm_min;
  d.second = t.tm_sec;
  return d;
}

}  // namespace

DateTime clock_local_time() {
  time_t now = time(nullptr);
  struct tm t {};
  localtime_r(&now, &t);
  return from_tm(t);
}

DateTime clock_local_time(int* utc_offset_minutes) {
  time_t now = time(nullptr);
  struct tm t {};
  localtime_r(&now, &t);
  *utc_offset_minutes = static_cast<int>(t.tm_gmtoff / 60);
  return from_tm(t);
}

DateTime clock_system_time() {
  time_t now = time(nullptr);
  struct tm t {};
  gmtime_r(&now, &t);
  return from_tm(t);
}

int64_t clock_unix_seconds() {
  return static_cast<int64_t>(time(nullptr));
}

int64_t clock_unix_microseconds() {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

uint64_t clock_monotonic_ms() {
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

uint32_t clock_tick_ms() {
  return static_cast<uint32_t>(clock_monotonic_ms());
}

}  // namespace fwk
