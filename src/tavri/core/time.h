// UTC timestamps and their RFC 3339 text forms.
//
// A Timestamp is a UTC instant with nanosecond resolution. Records write it
// as RFC 3339 text ending in "Z" with 0, 3, 6 or 9 fraction digits (the
// fewest that show the value exactly); texts built by the server use the
// same form with the offset "+00:00". Parsing accepts any RFC 3339
// date-time with an offset and converts it to UTC.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tavri {

using Timestamp = std::chrono::time_point<std::chrono::system_clock, std::chrono::nanoseconds>;

// The current UTC wall-clock time.
Timestamp now_utc();

enum class UtcSuffix { Z, PlusZero };

// RFC 3339 text in UTC, e.g. "2024-01-31T12:00:00.250Z".
std::string format_rfc3339(Timestamp t, UtcSuffix suffix = UtcSuffix::Z);

// ISO 8601 UTC with exactly three fraction digits: "2024-01-31T12:00:00.000Z".
std::string format_iso_millis(Timestamp t);

// Parses RFC 3339 ("T" or "t" or a blank between date and time, "Z", "z" or
// a numeric offset). Returns nothing for any malformed text.
std::optional<Timestamp> parse_rfc3339(std::string_view text);

// Milliseconds since the Unix epoch.
std::int64_t unix_millis(Timestamp t);

}  // namespace tavri
