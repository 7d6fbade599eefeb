// Clocks: local time for stamps, system time (UTC) for identifiers, and a
// millisecond tick count from a monotonic clock.
#pragma once

#include <cstdint>

namespace fwk {

struct DateTime {
  int year = 0;    // e.g. 2004
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59 (60 on a leap second)
};

DateTime clock_local_time();
// The local time together with its offset from UTC in minutes (east
// positive), both taken from one reading of the clock.
DateTime clock_local_time(int* utc_offset_minutes);
DateTime clock_system_time();

// Seconds since 1970-01-01 00:00 UTC (for stored times and ages).
int64_t clock_unix_seconds();

// Microseconds since 1970-01-01 00:00 UTC (for the order of saves).
int64_t clock_unix_microseconds();

// Milliseconds from a monotonic clock, wrapping at 32 bits.
uint32_t clock_tick_ms();

// Milliseconds from the same clock, not wrapping.
uint64_t clock_monotonic_ms();

}  // namespace fwk
