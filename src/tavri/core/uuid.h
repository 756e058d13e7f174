// Random (version 4) UUIDs.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tavri {

struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    // A fresh random version-4 UUID (variant bits 10).
    static Uuid v4();
    // 36-character lower-case hyphenated form.
    std::string str() const;
    bool operator==(const Uuid&) const = default;
};

}  // namespace tavri
