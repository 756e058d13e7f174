// The server-wide harness configuration: which observers, detectors and
// strategies the ingestion pipeline may run, the named preset and the
// dry-run flag. It lives in memory only; every start begins from the
// defaults.
#pragma once

#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <type_traits>
#include <vector>

namespace tavri::server {

// The configuration's version text; there is no version history.
inline constexpr const char* kHarnessConfigVersion = "0.3.0";

struct HarnessConfigState {
    std::string preset = "claude-code";
    std::vector<std::string> observers, detectors, strategies;
    bool dry_run = false;

    // preset "claude-code", the three full catalogues, dry_run false.
    static HarnessConfigState defaults();
    bool operator==(const HarnessConfigState&) const = default;
};

// The fixed catalogues, equal to the default lists and never changed:
// 12 observers, 16 detectors, 14 strategies, in catalogue order.
const std::vector<std::string>& all_observers();
const std::vector<std::string>& all_detectors();
const std::vector<std::string>& all_strategies();

// The shared configuration behind its reader-writer lock. When a caller
// needs the session store's lock as well, it takes the store's first.
class HarnessConfigStore {
public:
    HarnessConfigStore() : state_(HarnessConfigState::defaults()) {}

    template <class F>
    auto read(F&& f) const -> std::invoke_result_t<F, const HarnessConfigState&> {
        std::shared_lock lock(mu_);
        return f(state_);
    }
    template <class F>
    auto write(F&& f) -> std::invoke_result_t<F, HarnessConfigState&> {
        std::unique_lock lock(mu_);
        return f(state_);
    }
    HarnessConfigState snapshot() const {
        std::shared_lock lock(mu_);
        return state_;
    }

private:
    mutable std::shared_mutex mu_;
    HarnessConfigState state_;
};

using SharedHarnessConfig = std::shared_ptr<HarnessConfigStore>;

}  // namespace tavri::server
