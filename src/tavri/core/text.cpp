#include "tavri/core/text.h"

#include <algorithm>

namespace tavri::text {

namespace {

struct LowerEntry {
    char32_t cp, lower1, lower2;
};
struct CasedRange {
    char32_t first, last;
};
#include "tavri/core/unicode_lower_table.inc"

const LowerEntry* find_lower(char32_t cp) {
    auto it = std::lower_bound(std::begin(kLowerTable), std::end(kLowerTable), cp,
                               [](const LowerEntry& e, char32_t c) { return e.cp < c; });
    return (it != std::end(kLowerTable) && it->cp == cp) ? &*it : nullptr;
}

bool is_cased(char32_t cp) {
    auto it = std::upper_bound(std::begin(kCasedRanges), std::end(kCasedRanges), cp,
                               [](char32_t c, const CasedRange& r) { return c < r.first; });
    if (it == std::begin(kCasedRanges)) return false;
    --it;
    return cp >= it->first && cp <= it->last;
}

// Marks and format characters that the final-sigma rule skips over.
bool is_case_ignorable(char32_t cp) {
    return cp == '\'' || cp == '.' || cp == ':' || cp == 0xB7 || cp == 0x2019 ||
           (cp >= 0x300 && cp <= 0x36F) || cp == 0xAD || (cp >= 0x200B && cp <= 0x200F);
}

}  // namespace

char32_t decode_utf8(std::string_view s, std::size_t& pos) {
    auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    int len;
    char32_t cp;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + len > s.size()) {
        ++pos;
        return 0xFFFD;
    }
    for (int i = 1; i < len; ++i) {
        auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return 0xFFFD;
    }
    pos += len;
    return cp;
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::u32string to_u32(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (std::size_t pos = 0; pos < s.size();) out += decode_utf8(s, pos);
    return out;
}

std::string from_u32(std::u32string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : s) append_utf8(out, c);
    return out;
}

std::string sanitize_utf8(std::string_view s) { return from_u32(to_u32(s)); }

std::string to_lower(std::string_view s) {
    std::u32string cps = to_u32(s);
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < cps.size(); ++i) {
        char32_t c = cps[i];
        if (c < 0x80) {
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            continue;
        }
        if (c == 0x3A3) {
            // Final sigma: preceded by a cased letter and not followed by one.
            std::size_t j = i;
            bool before = false;
            while (j > 0) {
                --j;
                if (is_case_ignorable(cps[j])) continue;
                before = is_cased(cps[j]);
                break;
            }
            bool after = false;
            for (std::size_t k = i + 1; k < cps.size(); ++k) {
                if (is_case_ignorable(cps[k])) continue;
                after = is_cased(cps[k]);
                break;
            }
            append_utf8(out, before && !after ? 0x3C2 : 0x3C3);
            continue;
        }
        if (const LowerEntry* e = find_lower(c)) {
            append_utf8(out, e->lower1);
            if (e->lower2 != 0) append_utf8(out, e->lower2);
        } else {
            append_utf8(out, c);
        }
    }
    return out;
}

std::string to_lower_ascii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

std::size_t char_count(std::string_view s) {
    std::size_t n = 0;
    for (std::size_t pos = 0; pos < s.size(); ++n) decode_utf8(s, pos);
    return n;
}

std::string first_chars(std::string_view s, std::size_t n) {
    std::size_t pos = 0;
    std::string out;
    for (std::size_t i = 0; i < n && pos < s.size(); ++i) append_utf8(out, decode_utf8(s, pos));
    return out;
}

std::string_view prefix_bytes(std::string_view s, std::size_t max_bytes) {
    if (s.size() <= max_bytes) return s;
    std::size_t end = max_bytes;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    return s.substr(0, end);
}

bool contains(std::string_view h, std::string_view n) { return h.find(n) != std::string_view::npos; }
bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }
bool ends_with(std::string_view s, std::string_view x) {
    return s.size() >= x.size() && s.substr(s.size() - x.size()) == x;
}

bool is_unicode_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

std::vector<std::string> split_whitespace(std::string_view s) {
    std::vector<std::string> words;
    std::string cur;
    for (std::size_t pos = 0; pos < s.size();) {
        std::size_t start = pos;
        char32_t c = decode_utf8(s, pos);
        if (is_unicode_space(c)) {
            if (!cur.empty()) words.push_back(std::move(cur)), cur.clear();
        } else if (c == 0xFFFD && pos - start == 1) {
            append_utf8(cur, c);
        } else {
            cur.append(s.substr(start, pos - start));
        }
    }
    if (!cur.empty()) words.push_back(std::move(cur));
    return words;
}

std::string_view trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || (s[b] >= '\t' && s[b] <= '\r'))) ++b;
    while (e > b && (s[e - 1] == ' ' || (s[e - 1] >= '\t' && s[e - 1] <= '\r'))) --e;
    return s.substr(b, e - b);
}

}  // namespace tavri::text
