#include "tavri/core/uuid.h"

#include <random>

namespace tavri {

Uuid Uuid::v4() {
    thread_local std::mt19937_64 rng{[] {
        std::random_device rd;
        std::seed_seq seq{rd(), rd(), rd(), rd(), rd(), rd(), rd(), rd()};
        return std::mt19937_64{seq};
    }()};
    Uuid u;
    std::uint64_t a = rng(), b = rng();
    for (int i = 0; i < 8; ++i) {
        u.bytes[i] = static_cast<std::uint8_t>(a >> (8 * i));
        u.bytes[8 + i] = static_cast<std::uint8_t>(b >> (8 * i));
    }
    u.bytes[6] = (u.bytes[6] & 0x0F) | 0x40;
    u.bytes[8] = (u.bytes[8] & 0x3F) | 0x80;
    return u;
}

std::string Uuid::str() const {
    static const char* hex = "0123456789abcdef";
    std::string out;
    out.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += hex[bytes[i] >> 4];
        out += hex[bytes[i] & 0x0F];
    }
    return out;
}

}  // namespace tavri
