// A multi-subscriber broadcast channel with lag reporting.
//
// Senders never wait: the channel keeps the newest `capacity` values in a
// ring, and every receiver has its own read position. A receiver that falls
// more than `capacity` values behind loses the oldest ones and is told how
// many on its next receive (Lagged), then continues with the oldest value
// still kept. A receiver sees only values sent after it subscribed. Closing
// the channel (the owning session going away) lets receivers drain what is
// kept and then report Closed.
//
// For use from an event loop, `notify_when_ready` registers a one-shot
// callback run (on the sending or closing thread, outside the lock) as soon
// as a receive would not come back Empty.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tavri::server {

template <class T>
class Broadcast {
    struct Shared;

public:
    enum class Status { Value, Lagged, Empty, Closed };
    struct Received {
        Status status = Status::Empty;
        std::optional<T> value;     // Status::Value
        std::uint64_t skipped = 0;  // Status::Lagged
    };

    class Receiver {
    public:
        Receiver() = default;
        Receiver(Receiver&&) noexcept = default;
        Receiver& operator=(Receiver&& o) noexcept {
            if (this != &o) {
                detach();
                shared_ = std::move(o.shared_);
                next_ = o.next_;
                id_ = o.id_;
            }
            return *this;
        }
        Receiver(const Receiver&) = delete;
        Receiver& operator=(const Receiver&) = delete;
        ~Receiver() { detach(); }

        Received try_recv() {
            if (!shared_) return {Status::Closed, std::nullopt, 0};
            std::lock_guard lock(shared_->mu);
            return take_locked();
        }
        // Waits up to `timeout` for something other than Empty.
        Received recv_for(std::chrono::milliseconds timeout) {
            if (!shared_) return {Status::Closed, std::nullopt, 0};
            std::unique_lock lock(shared_->mu);
            shared_->cv.wait_for(lock, timeout, [&] { return ready_locked(); });
            return take_locked();
        }
        // Runs `cb` once, now if a receive would not be Empty, else at the next
        // send or close. A newer registration replaces an older pending one.
        void notify_when_ready(std::function<void()> cb) {
            if (!shared_) {
                cb();
                return;
            }
            {
                std::lock_guard lock(shared_->mu);
                if (!ready_locked()) {
                    shared_->wakers[id_] = std::move(cb);
                    return;
                }
            }
            cb();
        }
        bool valid() const { return shared_ != nullptr; }

    private:
        friend class Broadcast;
        Receiver(std::shared_ptr<Shared> s, std::uint64_t next, std::uint64_t id)
            : shared_(std::move(s)), next_(next), id_(id) {}

        bool ready_locked() const { return shared_->closed || next_ < shared_->tail; }
        Received take_locked() {
            Shared& s = *shared_;
            const std::uint64_t oldest = s.tail > s.capacity ? s.tail - s.capacity : 0;
            if (next_ < oldest) {
                const std::uint64_t skipped = oldest - next_;
                next_ = oldest;
                return {Status::Lagged, std::nullopt, skipped};
            }
            if (next_ < s.tail) {
                Received r{Status::Value, s.ring[next_ % s.capacity], 0};
                ++next_;
                return r;
            }
            return {s.closed ? Status::Closed : Status::Empty, std::nullopt, 0};
        }
        void detach() {
            if (!shared_) return;
            std::lock_guard lock(shared_->mu);
            shared_->wakers.erase(id_);
            --shared_->receivers;
            shared_.reset();
        }

        std::shared_ptr<Shared> shared_;
        std::uint64_t next_ = 0;
        std::uint64_t id_ = 0;
    };

    explicit Broadcast(std::size_t capacity) : shared_(std::make_shared<Shared>(capacity == 0 ? 1 : capacity)) {}

    // Returns the number of receivers the value was offered to (0 is not an error).
    std::size_t send(T value) {
        std::vector<std::function<void()>> wake;
        std::size_t receivers;
        {
            std::lock_guard lock(shared_->mu);
            if (shared_->closed) return 0;
            Shared& s = *shared_;
            if (s.ring.size() < s.capacity)
                s.ring.push_back(std::move(value));
            else
                s.ring[s.tail % s.capacity] = std::move(value);
            ++s.tail;
            receivers = s.receivers;
            take_wakers_locked(wake);
        }
        shared_->cv.notify_all();
        for (auto& w : wake) w();
        return receivers;
    }
    Receiver subscribe() {
        std::lock_guard lock(shared_->mu);
        ++shared_->receivers;
        return Receiver(shared_, shared_->tail, shared_->next_id++);
    }
    void close() {
        std::vector<std::function<void()>> wake;
        {
            std::lock_guard lock(shared_->mu);
            if (shared_->closed) return;
            shared_->closed = true;
            take_wakers_locked(wake);
        }
        shared_->cv.notify_all();
        for (auto& w : wake) w();
    }
    bool closed() const {
        std::lock_guard lock(shared_->mu);
        return shared_->closed;
    }
    std::size_t receiver_count() const {
        std::lock_guard lock(shared_->mu);
        return shared_->receivers;
    }
    std::size_t capacity() const { return shared_->capacity; }

private:
    struct Shared {
        explicit Shared(std::size_t cap) : capacity(cap) { ring.reserve(cap); }
        const std::size_t capacity;
        std::mutex mu;
        std::condition_variable cv;
        std::vector<T> ring;       // slot of value n is n % capacity
        std::uint64_t tail = 0;    // number of values ever sent
        std::size_t receivers = 0;
        std::uint64_t next_id = 0;
        bool closed = false;
        std::unordered_map<std::uint64_t, std::function<void()>> wakers;  // by receiver id
    };
    void take_wakers_locked(std::vector<std::function<void()>>& out) {
        for (auto& [id, f] : shared_->wakers)
            if (f) out.push_back(std::move(f));
        shared_->wakers.clear();
    }

    std::shared_ptr<Shared> shared_;
};

}  // namespace tavri::server
