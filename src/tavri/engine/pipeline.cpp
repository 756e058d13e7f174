#include "tavri/engine/pipeline.h"

#include <chrono>

namespace tavri {

Pipeline::Pipeline(std::shared_ptr<const PluginRegistry> registry, bool dry_run)
    : registry_(std::move(registry)), dry_run_(dry_run) {}

std::vector<Intervention> Pipeline::cycle(const std::string& agent_id) {
    const auto start = std::chrono::steady_clock::now();
    PipelineCycle rec;

    for (const auto& observer : registry_->observers())
        for (const auto& event : bus_.buffer())
            if (auto obs = observer->observe(event)) rec.observations.push_back(std::move(*obs));

    for (const auto& detector : registry_->detectors()) {
        auto found = detector->detect(agent_id, rec.observations);
        for (auto& f : found) rec.detections.push_back(std::move(f));
    }

    std::vector<Intervention> chosen;
    for (const auto& finding : rec.detections) {
        for (const auto& strategy : registry_->strategies()) {
            auto answer = strategy->evaluate(finding);
            if (!answer) continue;
            if (!dry_run_) chosen.push_back(answer->intervention);
            rec.strategy_results.push_back(std::move(*answer));
            break;
        }
    }

    if (!chosen.empty()) rec.intervention = chosen.back();
    rec.duration_us = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());

    ++cycles_;
    detections_ += rec.detections.size();
    if (rec.intervention) ++intervening_cycles_;
    total_us_ += rec.duration_us;
    history_.push_back(std::move(rec));
    if (history_.size() > kHistoryLimit) history_.pop_front();
    return chosen;
}

PipelineStats Pipeline::stats() const {
    return {cycles_, detections_, intervening_cycles_, total_us_ / std::max<std::uint64_t>(cycles_, 1)};
}

}  // namespace tavri
