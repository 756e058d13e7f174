#include <fmt/format.h>

#include "tavri/strategies/strategies.h"

namespace tavri {

namespace {
// Heavier compaction only as the pressure climbs; the bounds are strict, so
// a pressure sitting exactly on one stays in the lighter layer.
CompressionLayer layer_for(double pressure) {
    if (pressure > 0.95) return CompressionLayer::Autocompact;
    if (pressure > 0.85) return CompressionLayer::Microcompact;
    if (pressure > 0.7) return CompressionLayer::Snip;
    return CompressionLayer::Budget;
}
}  // namespace

std::optional<StrategyResult> CompactStrategy::evaluate(const DetectedIssue& issue) {
    const auto* stale = std::get_if<cat::StaleContext>(&issue.category);
    if (stale == nullptr) return std::nullopt;
    // A re-read finding carries pressure 0, which lands in Budget: the
    // context is not full, it just holds a file twice.
    const CompressionLayer layer = layer_for(stale->pressure);
    return StrategyResult{
        name(),
        iv::Compact{target_ratio_, layer},
        priority(),
        issue.confidence,
        fmt::format("Context pressure at {:.0f}%, applying {} compaction to reach {:.0f}%",
                    stale->pressure * 100.0, to_string(layer), target_ratio_ * 100.0),
    };
}

StrategyPtr make_compact_strategy(double target_ratio) { return std::make_shared<CompactStrategy>(target_ratio); }

}  // namespace tavri
