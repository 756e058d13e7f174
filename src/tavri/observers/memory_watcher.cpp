#include <cstdint>
#include <limits>
#include <mutex>

#include "tavri/observers/observers_b.h"

namespace tavri {
namespace {

// Each store is taken as about 4 KB of remembered material.
constexpr std::uint64_t kKbPerStore = 4;

class Counter {
public:
    void inc() {
        std::lock_guard lock(mu_);
        ++value_;
    }
    std::uint64_t get() {
        std::lock_guard lock(mu_);
        return value_;
    }

private:
    std::mutex mu_;
    std::uint64_t value_ = 0;
};

class MemoryWatcher final : public Observer {
public:
    std::string name() const override { return "memory"; }
    std::string dimension() const override { return "memory"; }

    std::optional<Observation> observe(const AgentEvent& event) override {
        if (std::holds_alternative<ev::ToolCallStart>(event) || std::holds_alternative<ev::ThinkingStart>(event)) {
            retrievals_.inc();
        } else if (const auto* end = std::get_if<ev::ToolCallEnd>(&event)) {
            if (!end->result.is_error) hits_.inc();
        } else if (std::holds_alternative<ev::OutputComplete>(event)) {
            stores_.inc();
        }

        const std::uint64_t retrievals = retrievals_.get();
        const std::uint64_t hits = hits_.get();
        const std::uint64_t stores = stores_.get();
        const std::uint64_t kb = stores > std::numeric_limits<std::uint64_t>::max() / kKbPerStore
                                     ? std::numeric_limits<std::uint64_t>::max()
                                     : stores * kKbPerStore;
        // Not capped at 1: results can arrive for calls whose start this
        // instance never saw.
        const double hit_rate =
            retrievals == 0 ? 0.0 : static_cast<double>(hits) / static_cast<double>(retrievals);

        Observation obs;
        obs["dimension"] = name();
        obs["retrievals"] = retrievals;
        obs["hits"] = hits;
        obs["stores"] = stores;
        obs["hit_rate"] = json_number(hit_rate);
        obs["growth_rate_kb_hr"] = json_number(static_cast<double>(kb));
        return obs;
    }

private:
    Counter retrievals_;
    Counter hits_;
    Counter stores_;
};

}  // namespace

ObserverPtr make_memory_watcher() { return std::make_shared<MemoryWatcher>(); }

}  // namespace tavri
