#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "tavri/core/text.h"
#include "tavri/observers/observers_b.h"

namespace tavri {
namespace {

// Outputs that open the same way are taken as the same approach; the cut
// is by characters so that non-ASCII text is never split mid-character.
constexpr std::size_t kKeyChars = 100;

class DiversityWatcher final : public Observer {
public:
    std::string name() const override { return "diversity"; }
    std::string dimension() const override { return "diversity"; }

    std::optional<Observation> observe(const AgentEvent& event) override {
        std::uint64_t unique;
        {
            std::lock_guard lock(keys_mu_);
            if (const auto* out = std::get_if<ev::OutputComplete>(&event)) {
                keys_.insert(text::first_chars(out->content, kKeyChars));
            }
            unique = keys_.size();
        }

        Observation obs;
        obs["dimension"] = name();
        obs["unique_approaches"] = unique;
        return obs;
    }

private:
    std::mutex keys_mu_;
    std::set<std::string> keys_;
};

}  // namespace

ObserverPtr make_diversity_watcher() { return std::make_shared<DiversityWatcher>(); }

}  // namespace tavri
