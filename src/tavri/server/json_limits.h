// Guards for JSON texts from outside (request bodies, files on disk).
//
// The JSON library parses iteratively but writes and compares recursively,
// so a deeply nested text that parses fine could later overflow the stack.
// Such texts are refused before parsing.
#pragma once

#include <cstddef>
#include <string_view>

namespace tavri::server {

inline constexpr std::size_t kMaxJsonDepth = 256;

// True when no array or object in `text` is nested deeper than `max_depth`.
// Brackets inside strings do not count; the text need not be valid JSON.
inline bool json_nesting_within(std::string_view text, std::size_t max_depth) {
    std::size_t depth = 0;
    bool in_string = false, escaped = false;
    for (char c : text) {
        if (in_string) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                in_string = false;
            continue;
        }
        switch (c) {
            case '"': in_string = true; break;
            case '[':
            case '{':
                if (++depth > max_depth) return false;
                break;
            case ']':
            case '}':
                if (depth > 0) --depth;
                break;
            default: break;
        }
    }
    return true;
}

}  // namespace tavri::server
