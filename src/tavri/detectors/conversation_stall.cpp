#include <algorithm>
#include <chrono>
#include <limits>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "tavri/detectors/detectors_a.h"

namespace tavri {
namespace {

class ConversationStallDetector final : public Detector {
public:
    ConversationStallDetector(std::uint64_t threshold_secs, StallClock clock)
        : threshold_secs_(threshold_secs), clock_(clock ? std::move(clock) : StallClock(now_utc)) {}

    std::string name() const override { return "conversation_stall"; }
    std::string description() const override {
        return "Detects when multi-agent conversation has stopped";
    }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        std::optional<std::uint64_t> last_ms;
        for (auto it = observations.rbegin(); it != observations.rend() && !last_ms; ++it)
            last_ms = json_u64(*it, "msg_timestamp_ms");
        if (!last_ms) return {};

        const std::uint64_t silence = silence_secs(*last_ms);
        if (silence < threshold_secs_) return {};

        const bool beyond_double =
            threshold_secs_ <= std::numeric_limits<std::uint64_t>::max() / 2 &&
            silence > 2 * threshold_secs_;
        DetectedIssue issue;
        issue.agent_id = std::string(agent_id);
        issue.category = cat::ConversationStall{silence};
        issue.severity = beyond_double ? Severity::Error : Severity::Warning;
        issue.confidence =
            threshold_secs_ == 0
                ? 1.0
                : std::min(static_cast<double>(silence) / static_cast<double>(threshold_secs_), 1.0);
        issue.description = fmt::format("Conversation stalled for {}s", silence);
        issue.evidence = fmt::format("No messages for {}s", silence);
        issue.suggested_strategies = {"nudge", "change_speaker"};
        return {std::move(issue)};
    }

private:
    // The clock is cut to whole seconds before the difference is taken, so
    // a message 45.5 s old may read as 44 s of silence.
    std::uint64_t silence_secs(std::uint64_t last_ms) const {
        using namespace std::chrono;
        const auto since_epoch = clock_().time_since_epoch();
        if (since_epoch.count() < 0) return 0;
        const auto whole_secs =
            static_cast<std::uint64_t>(duration_cast<seconds>(since_epoch).count());
        const std::uint64_t now_ms = whole_secs * 1000;
        if (last_ms >= now_ms) return 0;
        return (now_ms - last_ms) / 1000;
    }

    std::uint64_t threshold_secs_;
    StallClock clock_;
};

}  // namespace

DetectorPtr make_conversation_stall_detector(std::uint64_t threshold_secs, StallClock clock) {
    return std::make_shared<ConversationStallDetector>(threshold_secs, std::move(clock));
}

}  // namespace tavri
