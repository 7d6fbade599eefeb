// Date/time stamps and unique identifiers.
#pragma once

#include <cstdint>
#include <string>

#include "core/program_key.hpp"
#include "platform/clock.hpp"

namespace fwk {

// The value under kProgramKey in the user hive where earlier versions kept
// an identifier counter; the server deletes it when it stops.
inline constexpr const char* kCounterValue = "RANDOM";

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

// Identifier text: "x", base-32 of (year - 2000), base-32 of a, "Y",
// base-32 of b (at most 23 characters).
std::string unique_id_text(int year, uint32_t a, uint32_t b);

// A new identifier for a session or a page script: the current system year
// and two numbers that together are 64 bits from the system's random
// source, so that identifiers neither repeat nor can be guessed from one
// another.
std::string unique_id();

}  // namespace fwk
