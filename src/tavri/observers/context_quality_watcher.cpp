#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "tavri/observers/observers_b.h"

namespace tavri {
namespace {

// Only the two spellings the agents actually use for their file-read tool;
// similar names ("read_file", "READ") belong to other tools and must not
// inflate the pressure figure.
bool is_read_tool(const std::string& tool) { return tool == "read" || tool == "Read"; }

class ContextQualityWatcher final : public Observer {
public:
    std::string name() const override { return "context_quality"; }
    std::string dimension() const override { return "context_quality"; }

    std::optional<Observation> observe(const AgentEvent& event) override {
        if (const auto* start = std::get_if<ev::ToolCallStart>(&event); start != nullptr && is_read_tool(start->tool)) {
            if (auto path = json_str(start->args, "file_path")) record_read(std::move(*path));
        }

        // Redundant reads are read before total reads: every redundant read
        // was counted as a read first, so the ratio never exceeds 1 even
        // while other threads are updating.
        std::uint64_t redundant;
        {
            std::lock_guard lock(redundant_mu_);
            redundant = redundant_;
        }
        std::uint64_t reads;
        {
            std::lock_guard lock(reads_mu_);
            reads = reads_;
        }
        std::uint64_t unique;
        {
            std::lock_guard lock(paths_mu_);
            unique = paths_.size();
        }
        const double ratio = reads == 0 ? 0.0 : static_cast<double>(redundant) / static_cast<double>(reads);

        Observation obs;
        obs["dimension"] = name();
        obs["redundancy_ratio"] = json_number(ratio);
        obs["context_ratio"] = json_number(ratio);
        obs["context_pressure"] = json_number(ratio);
        obs["unique_files"] = unique;
        return obs;
    }

private:
    void record_read(std::string path) {
        {
            std::lock_guard lock(reads_mu_);
            ++reads_;
        }
        // The set lock stays held over the redundant-count update so that a
        // path read twice at once is counted redundant exactly once.
        std::lock_guard set_lock(paths_mu_);
        if (!paths_.insert(std::move(path)).second) {
            std::lock_guard lock(redundant_mu_);
            ++redundant_;
        }
    }

    std::mutex paths_mu_;
    std::set<std::string> paths_;
    std::mutex reads_mu_;
    std::uint64_t reads_ = 0;
    std::mutex redundant_mu_;
    std::uint64_t redundant_ = 0;
};

}  // namespace

ObserverPtr make_context_quality_watcher() { return std::make_shared<ContextQualityWatcher>(); }

}  // namespace tavri
