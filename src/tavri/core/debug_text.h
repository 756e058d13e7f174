// Building blocks of the debug text of records and unions.
//
// The debug text is an external format: the server publishes the debug text
// of interventions in its answers. The rules:
//  - text in double quotes; backslash before '"' and '\'; \n \r \t \0 for
//    newline, carriage return, tab and NUL; other control or non-printable
//    characters as \u{hex}; a single quote stays as it is;
//  - optional values as None or Some(value);
//  - floats in their shortest round-trip form: plain decimal with at least
//    one fraction digit when the magnitude is 0 or within [1e-4, 1e16),
//    exponent form otherwise (1e-5, 2.5e16);
//  - records as Name { field: value, ... }, field-less variants bare.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavri::debug {

std::string quote(std::string_view s);
std::string float_text(double v);

// Collects "Name { a: 1, b: 2 }"; with no fields it renders as "Name".
class Record {
public:
    explicit Record(std::string_view name) : out_(name) {}
    Record& field(std::string_view name, std::string_view rendered_value);
    Record& str(std::string_view name, std::string_view value) { return field(name, quote(value)); }
    Record& u64(std::string_view name, std::uint64_t v) { return field(name, std::to_string(v)); }
    Record& f64(std::string_view name, double v) { return field(name, float_text(v)); }
    Record& boolean(std::string_view name, bool v) { return field(name, v ? "true" : "false"); }
    std::string done() const { return any_ ? out_ + " }" : out_; }

private:
    std::string out_;
    bool any_ = false;
};

std::string optional_text(const std::optional<std::string>& v);
std::string optional_u64(const std::optional<std::uint64_t>& v);
std::string text_list(const std::vector<std::string>& v);

}  // namespace tavri::debug
