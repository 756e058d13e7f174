// EventBus: the pipeline's window of recent events.
//
// Keeps the newest 500 events in arrival order; feeding the 501st drops the
// oldest. Subscribers receive each event synchronously before it is
// buffered (nothing in the system subscribes today).
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "tavri/core/events.h"

namespace tavri {

class EventBus {
public:
    static constexpr std::size_t kLimit = 500;
    using Subscriber = std::function<void(const AgentEvent&)>;

    void subscribe(Subscriber s) { subscribers_.push_back(std::move(s)); }
    void dispatch(const AgentEvent& event);
    const std::deque<AgentEvent>& buffer() const { return buffer_; }

private:
    std::vector<Subscriber> subscribers_;
    std::deque<AgentEvent> buffer_;
};

}  // namespace tavri
