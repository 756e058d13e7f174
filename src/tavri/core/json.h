// JSON aliases used throughout the system.
//
// `Json` keeps object members sorted by key: every answer the server builds
// and every observation a watcher returns uses it, so member order is
// deterministic. `OrderedJson` keeps insertion order and is used where a
// record is written in its declaration order.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavri {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// Reads a non-negative integral JSON number ("integer" in the plug-in key
// rules). Floats, negative numbers and other kinds give nothing.
inline std::optional<std::uint64_t> json_u64(const Json& v) {
    if (v.is_number_unsigned()) return v.get<std::uint64_t>();
    if (v.is_number_integer()) {
        auto i = v.get<std::int64_t>();
        if (i >= 0) return static_cast<std::uint64_t>(i);
    }
    return std::nullopt;
}

// Reads any JSON number as a double ("number" in the plug-in key rules).
inline std::optional<double> json_f64(const Json& v) {
    if (v.is_number()) return v.get<double>();
    return std::nullopt;
}

// Member lookup helpers: nothing when `obj` is not an object, the key is
// missing or the member has another type.
inline const Json* json_member(const Json& obj, std::string_view key) {
    if (!obj.is_object()) return nullptr;
    auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
}
inline std::optional<std::string> json_str(const Json& obj, std::string_view key) {
    const Json* m = json_member(obj, key);
    if (m == nullptr || !m->is_string()) return std::nullopt;
    return m->get<std::string>();
}
inline std::optional<std::uint64_t> json_u64(const Json& obj, std::string_view key) {
    const Json* m = json_member(obj, key);
    return m == nullptr ? std::nullopt : json_u64(*m);
}
inline std::optional<double> json_f64(const Json& obj, std::string_view key) {
    const Json* m = json_member(obj, key);
    return m == nullptr ? std::nullopt : json_f64(*m);
}
inline std::optional<bool> json_bool(const Json& obj, std::string_view key) {
    const Json* m = json_member(obj, key);
    if (m == nullptr || !m->is_boolean()) return std::nullopt;
    return m->get<bool>();
}

// The numbers under `key` in each object of `values`, in order; objects
// without the key, or holding another kind there, are skipped.
inline std::vector<double> json_numbers(const std::vector<Json>& values, std::string_view key) {
    std::vector<double> out;
    for (const auto& v : values)
        if (auto n = json_f64(v, key)) out.push_back(*n);
    return out;
}

// Float members of observations: non-finite values are written as null.
inline Json json_number(double v) {
    if (!std::isfinite(v)) return nullptr;
    return v;
}

}  // namespace tavri
