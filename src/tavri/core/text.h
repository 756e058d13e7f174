// Text helpers over UTF-8.
//
// Every helper treats its input as UTF-8. Malformed bytes are decoded as
// U+FFFD so no helper ever produces invalid text or reads past the end.
// Cuts by bytes always move back to a character boundary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavri::text {

// Decodes one code point at `pos`, advancing `pos`; malformed input gives
// U+FFFD and advances by one byte.
char32_t decode_utf8(std::string_view s, std::size_t& pos);
void append_utf8(std::string& out, char32_t cp);
std::u32string to_u32(std::string_view s);
std::string from_u32(std::u32string_view s);

// Replaces malformed sequences by U+FFFD.
std::string sanitize_utf8(std::string_view s);

// Full Unicode lower-casing (one- and two-code-point mappings, final sigma).
std::string to_lower(std::string_view s);
// ASCII-only lower-casing.
std::string to_lower_ascii(std::string_view s);

// Number of code points.
std::size_t char_count(std::string_view s);
// The first `n` code points.
std::string first_chars(std::string_view s, std::size_t n);
// The longest prefix of at most `max_bytes` bytes that ends on a character
// boundary.
std::string_view prefix_bytes(std::string_view s, std::size_t max_bytes);

bool contains(std::string_view haystack, std::string_view needle);
bool starts_with(std::string_view s, std::string_view prefix);
bool ends_with(std::string_view s, std::string_view suffix);

// Splits on runs of Unicode white space (like Python's str.split()).
std::vector<std::string> split_whitespace(std::string_view s);
bool is_unicode_space(char32_t c);
std::string_view trim(std::string_view s);

}  // namespace tavri::text
