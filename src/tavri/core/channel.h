// A bounded multi-producer queue with blocking and non-blocking sends.
//
// `send` waits for room and fails only once the channel is closed;
// `try_send` never waits and fails when the channel is full or closed.
// `recv` waits for a value and returns nothing once the channel is closed
// and drained; `try_recv` never waits. Thread-safe.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace tavri {

template <class T>
class BoundedChannel {
public:
    explicit BoundedChannel(std::size_t capacity) : capacity_(capacity) {}

    bool send(T value) {
        std::unique_lock lock(mu_);
        not_full_.wait(lock, [&] { return closed_ || items_.size() < capacity_; });
        if (closed_) return false;
        items_.push_back(std::move(value));
        not_empty_.notify_one();
        return true;
    }
    bool try_send(T value) {
        std::lock_guard lock(mu_);
        if (closed_ || items_.size() >= capacity_) return false;
        items_.push_back(std::move(value));
        not_empty_.notify_one();
        return true;
    }
    std::optional<T> recv() {
        std::unique_lock lock(mu_);
        not_empty_.wait(lock, [&] { return closed_ || !items_.empty(); });
        return pop_locked();
    }
    std::optional<T> try_recv() {
        std::lock_guard lock(mu_);
        return pop_locked();
    }
    void close() {
        std::lock_guard lock(mu_);
        closed_ = true;
        not_full_.notify_all();
        not_empty_.notify_all();
    }
    bool closed() const {
        std::lock_guard lock(mu_);
        return closed_;
    }
    std::size_t capacity() const { return capacity_; }

private:
    std::optional<T> pop_locked() {
        if (items_.empty()) return std::nullopt;
        T v = std::move(items_.front());
        items_.pop_front();
        not_full_.notify_one();
        return v;
    }

    const std::size_t capacity_;
    mutable std::mutex mu_;
    std::condition_variable not_full_, not_empty_;
    std::deque<T> items_;
    bool closed_ = false;
};

}  // namespace tavri
