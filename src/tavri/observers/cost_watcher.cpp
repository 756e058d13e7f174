#include <memory>

#include "tavri/observers/observers_a.h"

namespace tavri {

namespace {

// US dollars per million tokens.
constexpr double kInputPricePerMillion = 3.0;
constexpr double kOutputPricePerMillion = 15.0;

}  // namespace

std::optional<Observation> CostWatcher::observe(const AgentEvent& event) {
    const auto* usage = std::get_if<ev::TokenUsage>(&event);
    if (usage == nullptr) return std::nullopt;

    // Cache reads and writes are deliberately left unpriced.
    double cost = (static_cast<double>(usage->input) * kInputPricePerMillion +
                   static_cast<double>(usage->output) * kOutputPricePerMillion) /
                  1'000'000.0;

    Json obs = Json::object();
    obs["dimension"] = name();
    obs["turn_cost"] = json_number(cost);
    obs["cost_per_turn"] = json_number(cost);
    obs["model"] = usage->model;
    // The total stays locked until it is written, so concurrent events each
    // report the total that includes exactly their own addition.
    std::lock_guard lock(total_mutex_);
    total_cost_ += cost;
    obs["total_cost"] = json_number(total_cost_);
    return obs;
}

ObserverPtr make_cost_watcher() { return std::make_shared<CostWatcher>(); }

}  // namespace tavri
