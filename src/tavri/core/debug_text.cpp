#include "tavri/core/debug_text.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>

#include "tavri/core/text.h"

namespace tavri::debug {

namespace {

// Code points shown escaped: controls, separators and invisible format
// characters, surrogates and non-characters.
bool is_printable(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
    if (c == 0xAD || c == 0x061C || c == 0x180E) return false;
    if ((c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F))
        return false;
    if (c == 0xFEFF || (c >= 0xFFF0 && c <= 0xFFFB) || c == 0xFFFE || c == 0xFFFF) return false;
    if ((c >= 0xD800 && c <= 0xDFFF) || (c >= 0xE000 && c <= 0xF8FF)) return false;
    if ((c & 0xFFFE) == 0xFFFE || (c >= 0xE0000 && c <= 0xE0FFF) || c >= 0xF0000) return false;
    return true;
}

}  // namespace

std::string quote(std::string_view s) {
    std::string out = "\"";
    for (std::size_t pos = 0; pos < s.size();) {
        std::size_t start = pos;
        char32_t c = text::decode_utf8(s, pos);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default:
                if (is_printable(c)) {
                    out.append(s.substr(start, pos - start));
                } else {
                    out += fmt::format("\\u{{{:x}}}", static_cast<std::uint32_t>(c));
                }
        }
    }
    out += '"';
    return out;
}

std::string float_text(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buf[64];
    double mag = std::fabs(v);
    if (mag == 0.0 || (mag >= 1e-4 && mag < 1e16)) {
        auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
        std::string s(buf, r.ptr);
        if (s.find('.') == std::string::npos) s += ".0";
        return s;
    }
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string s(buf, r.ptr);  // e.g. "2.5e+16", "1e-05"
    auto e = s.find('e');
    std::string mant = s.substr(0, e);
    std::string exp = s.substr(e + 1);
    bool neg = !exp.empty() && exp[0] == '-';
    if (!exp.empty() && (exp[0] == '+' || exp[0] == '-')) exp.erase(0, 1);
    while (exp.size() > 1 && exp[0] == '0') exp.erase(0, 1);
    return mant + "e" + (neg ? "-" : "") + exp;
}

Record& Record::field(std::string_view name, std::string_view value) {
    out_ += any_ ? ", " : " { ";
    out_.append(name);
    out_ += ": ";
    out_.append(value);
    any_ = true;
    return *this;
}

std::string optional_text(const std::optional<std::string>& v) {
    return v ? "Some(" + quote(*v) + ")" : "None";
}
std::string optional_u64(const std::optional<std::uint64_t>& v) {
    return v ? "Some(" + std::to_string(*v) + ")" : "None";
}
std::string text_list(const std::vector<std::string>& v) {
    std::string out = "[";
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) out += ", ";
        out += quote(v[i]);
    }
    return out + "]";
}

}  // namespace tavri::debug
