#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "tavri/observers/observers_b.h"

namespace tavri {
namespace {

class CommWatcher final : public Observer {
public:
    std::string name() const override { return "comm"; }
    std::string dimension() const override { return "communication"; }

    std::optional<Observation> observe(const AgentEvent& event) override {
        // Only the sending side counts: a received message is the same
        // message seen from the other end, and recipients that never speak
        // are not participants.
        if (const auto* sent = std::get_if<ev::MessageSent>(&event)) {
            {
                std::lock_guard lock(senders_mu_);
                ++senders_[sent->from];
            }
            std::lock_guard lock(total_mu_);
            ++total_;
        }

        Observation obs;
        obs["dimension"] = name();
        {
            std::lock_guard lock(total_mu_);
            obs["total_messages"] = total_;
        }
        {
            std::lock_guard lock(senders_mu_);
            obs["participants"] = static_cast<std::uint64_t>(senders_.size());
        }
        return obs;
    }

private:
    std::mutex senders_mu_;
    std::map<std::string, std::uint64_t> senders_;
    std::mutex total_mu_;
    std::uint64_t total_ = 0;
};

}  // namespace

ObserverPtr make_comm_watcher() { return std::make_shared<CommWatcher>(); }

}  // namespace tavri
