#include <cstdint>
#include <limits>
#include <mutex>

#include "tavri/observers/observers_b.h"

namespace tavri {
namespace {

class OrchWatcher final : public Observer {
public:
    std::string name() const override { return "orch"; }
    std::string dimension() const override { return "orchestration"; }

    std::optional<Observation> observe(const AgentEvent& event) override {
        if (std::holds_alternative<ev::Forked>(event)) {
            {
                std::lock_guard lock(forks_mu_);
                forks_ = saturating_inc(forks_);
            }
            std::lock_guard lock(active_mu_);
            active_ = saturating_inc(active_);
        } else if (std::holds_alternative<ev::Completed>(event) || std::holds_alternative<ev::Failed>(event)) {
            // More endings than agents happen when the root agent's own end
            // arrives after its children's; stay at zero rather than wrap.
            std::lock_guard lock(active_mu_);
            if (active_ > 0) --active_;
        }

        Observation obs;
        obs["dimension"] = name();
        {
            std::lock_guard lock(active_mu_);
            obs["active_agents"] = active_;
        }
        {
            std::lock_guard lock(forks_mu_);
            obs["total_forks"] = forks_;
        }
        return obs;
    }

private:
    static std::uint32_t saturating_inc(std::uint32_t v) {
        return v == std::numeric_limits<std::uint32_t>::max() ? v : v + 1;
    }

    std::mutex active_mu_;
    std::uint32_t active_ = 1;  // the root agent is alive before anything is said
    std::mutex forks_mu_;
    std::uint32_t forks_ = 0;
};

}  // namespace

ObserverPtr make_orch_watcher() { return std::make_shared<OrchWatcher>(); }

}  // namespace tavri
