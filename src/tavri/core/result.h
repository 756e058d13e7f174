// Result<T, E>: a value or an error, returned instead of throwing.
//
// Errors are values in this system: the core model and the engine return
// Result<T, TavriError>, the JSON readers Result<T, JsonError>.
#pragma once

#include <utility>
#include <variant>

namespace tavri {

template <class E>
struct Err {
    E error;
};
template <class E>
Err<std::decay_t<E>> make_err(E&& e) {
    return {std::forward<E>(e)};
}

template <class T, class E>
class Result {
public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(Err<E> err) : v_(std::in_place_index<1>, std::move(err.error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const E& error() const { return std::get<1>(v_); }

private:
    std::variant<T, E> v_;
};

// Result without a value.
struct Unit {
    bool operator==(const Unit&) const = default;
};

}  // namespace tavri
