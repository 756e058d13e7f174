#include "tavri/core/time.h"

#include <fmt/format.h>

#include <cctype>

namespace tavri {

namespace {

using namespace std::chrono;

bool digits(std::string_view s, std::size_t pos, std::size_t n, int& out) {
    if (pos + n > s.size()) return false;
    int v = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
        v = v * 10 + (s[i] - '0');
    }
    out = v;
    return true;
}

}  // namespace

Timestamp now_utc() { return time_point_cast<nanoseconds>(system_clock::now()); }

std::string format_rfc3339(Timestamp t, UtcSuffix suffix) {
    auto secs = floor<seconds>(t);
    auto nanos = (t - secs).count();
    auto day = floor<days>(secs);
    year_month_day ymd{day};
    hh_mm_ss hms{secs - day};
    std::string out = fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}", static_cast<int>(ymd.year()),
                                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                                  hms.hours().count(), hms.minutes().count(), hms.seconds().count());
    if (nanos != 0) {
        if (nanos % 1000000 == 0) {
            out += fmt::format(".{:03}", nanos / 1000000);
        } else if (nanos % 1000 == 0) {
            out += fmt::format(".{:06}", nanos / 1000);
        } else {
            out += fmt::format(".{:09}", nanos);
        }
    }
    out += suffix == UtcSuffix::Z ? "Z" : "+00:00";
    return out;
}

std::string format_iso_millis(Timestamp t) {
    auto ms = floor<milliseconds>(t);
    auto secs = floor<seconds>(ms);
    auto day = floor<days>(secs);
    year_month_day ymd{day};
    hh_mm_ss hms{secs - day};
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", static_cast<int>(ymd.year()),
                       static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                       hms.hours().count(), hms.minutes().count(), hms.seconds().count(),
                       (ms - secs).count());
}

std::optional<Timestamp> parse_rfc3339(std::string_view s) {
    int y, mo, d, h, mi, se;
    if (!digits(s, 0, 4, y) || s.size() < 19 || s[4] != '-' || !digits(s, 5, 2, mo) || s[7] != '-' ||
        !digits(s, 8, 2, d))
        return std::nullopt;
    char sep = s[10];
    if (sep != 'T' && sep != 't' && sep != ' ') return std::nullopt;
    if (!digits(s, 11, 2, h) || s[13] != ':' || !digits(s, 14, 2, mi) || s[16] != ':' ||
        !digits(s, 17, 2, se))
        return std::nullopt;
    std::size_t pos = 19;
    std::int64_t nanos = 0;
    if (pos < s.size() && s[pos] == '.') {
        ++pos;
        std::size_t start = pos;
        std::int64_t scale = 100000000;
        while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
            nanos += (s[pos] - '0') * scale;  // digits past nanoseconds are dropped
            scale /= 10;
            ++pos;
        }
        if (pos == start) return std::nullopt;
    }
    if (pos >= s.size()) return std::nullopt;
    int offset_min = 0;
    if (s[pos] == 'Z' || s[pos] == 'z') {
        ++pos;
    } else if (s[pos] == '+' || s[pos] == '-') {
        int oh, om;
        if (!digits(s, pos + 1, 2, oh) || pos + 3 >= s.size() || s[pos + 3] != ':' ||
            !digits(s, pos + 4, 2, om) || oh > 23 || om > 59)
            return std::nullopt;
        offset_min = (oh * 60 + om) * (s[pos] == '-' ? -1 : 1);
        pos += 6;
    } else {
        return std::nullopt;
    }
    if (pos != s.size()) return std::nullopt;
    year_month_day ymd{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    if (!ymd.ok() || h > 23 || mi > 59 || se > 60) return std::nullopt;
    if (se == 60) se = 59;  // a leap second is held as the last second of its minute
    auto t = sys_days{ymd} + hours{h} + minutes{mi} + seconds{se} - minutes{offset_min};
    return Timestamp{time_point_cast<nanoseconds>(t) + nanoseconds{nanos}};
}

std::int64_t unix_millis(Timestamp t) {
    return duration_cast<milliseconds>(t.time_since_epoch()).count();
}

}  // namespace tavri
