#include "tavri/engine/event_bus.h"

namespace tavri {

void EventBus::dispatch(const AgentEvent& event) {
    for (const auto& s : subscribers_) s(event);
    if (buffer_.size() >= kLimit) buffer_.pop_front();
    buffer_.push_back(event);
}

}  // namespace tavri
