// Date/time stamps and unique identifiers.
#pragma once

#include <cstdint>
#include <string>

#include "core/program_key.hpp"
#include "platform/clock.hpp"

namespace fwk {

// The identifier counter's value name (under kProgramKey in the user hive)
// and its cross-process lock.
inline constexpr const char* kCounterValue = "RANDOM";
inline constexpr const char* kCounterMutex = "FWK.CGI.RANDOM";

// Current local date as 8 digits (yyyymmdd) and time as 6 (hhmmss), into
// whichever of the two is present.
void time_stamp(std::string* date, std::string* time);

// The same for a given local time.
std::string stamp_date_text(const DateTime& t);
std::string stamp_time_text(const DateTime& t);

// A moment given in microseconds since 1970 (UTC) as ISO 8601 text in UTC:
// "2026-12-08T05:37:52.123456Z" with the microseconds, else
// "2026-12-08T05:37:52Z". Texts of one kind sort as their moments do.
std::string utc_stamp_text(int64_t unix_microseconds, bool with_microseconds);

// Seconds since 1970 (UTC) of a civil date and time in UTC.
int64_t unix_seconds_of_utc(const DateTime& t);

// Base-32 digits of n (0-9, a-v), least significant first; "" for 0.
std::string base32_text(uint32_t n);

// Identifier text for the number n and a system time: "x", base-32 of
// (year - 2000), base-32 of A, "Y", base-32 of B (at most 23 characters).
std::string unique_id_format(uint32_t n, const DateTime& system_time);
// The same with the current system time.
std::string unique_id_format(uint32_t n);

// A new identifier from the per-user counter, the characters of the mixing
// text (may be absent) and the millisecond tick count. The counter update is
// serialised across processes; it is stored only when the program's user
// key exists.
std::string unique_id(const char* mixing_text);

}  // namespace fwk
