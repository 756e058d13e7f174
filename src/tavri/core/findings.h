// Findings and strategy answers: Severity, IssueCategory, DetectedIssue,
// StrategyResult.
//
// A detector turns observations into DetectedIssue values; each carries an
// IssueCategory (one of sixteen kinds, each with a small payload filled by
// the detector of the same name). A strategy answers a finding with a
// StrategyResult holding the Intervention it would apply.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tavri/core/intervention.h"
#include "tavri/core/uuid.h"

namespace tavri {

enum class Severity : std::uint8_t { Info, Warning, Error, Critical };

// "Info", "Warning", "Error", "Critical".
const char* to_string(Severity s);
// Reads exactly those four texts.
std::optional<Severity> parse_severity(std::string_view s);

// Category payloads, in category order.
namespace cat {
struct Loop {
    std::string tool;
    std::uint64_t count = 0;         // calls of the tool
    std::uint64_t window_count = 0;  // calls counted within the window
    bool operator==(const Loop&) const = default;
};
struct StaleContext {
    std::string file_path;
    double pressure = 0;
    std::uint64_t read_count = 0;
    bool operator==(const StaleContext&) const = default;
};
struct CostAnomaly {
    double baseline = 0, latest = 0, ratio = 0;
    bool operator==(const CostAnomaly&) const = default;
};
struct Deadlock {
    std::vector<std::string> agents;  // [waiting agent, agent waited for]
    std::uint64_t wait_secs = 0;
    bool operator==(const Deadlock&) const = default;
};
struct Hallucination {
    std::string reference, kind;
    bool operator==(const Hallucination&) const = default;
};
struct PromptInjection {
    std::string phrases;
    bool operator==(const PromptInjection&) const = default;
};
struct SecretLeak {
    std::string label;
    bool operator==(const SecretLeak&) const = default;
};
struct VarietyCollapse {
    double ratio = 0;
    std::uint64_t compared = 0;
    bool operator==(const VarietyCollapse&) const = default;
};
struct ConversationStall {
    std::uint64_t silence_secs = 0;
    bool operator==(const ConversationStall&) const = default;
};
struct GoalDrift {
    double similarity = 0;
    bool operator==(const GoalDrift&) const = default;
};
struct ModelMismatch {
    std::string complexity, observed_model, recommended_model;
    bool operator==(const ModelMismatch&) const = default;
};
struct AccuracyRisk {
    std::vector<std::string> risks;
    bool operator==(const AccuracyRisk&) const = default;
};
struct RunawayCost {
    double acceleration = 0;
    bool operator==(const RunawayCost&) const = default;
};
struct ResourceExhaustion {
    std::string resource;
    double usage_pct = 0;
    bool operator==(const ResourceExhaustion&) const = default;
};
struct OutputDegradation {
    double slope = 0;
    std::uint64_t window = 0;
    bool operator==(const OutputDegradation&) const = default;
};
struct ComplianceGap {
    std::string gap;
    bool operator==(const ComplianceGap&) const = default;
};
}  // namespace cat

using IssueCategory =
    std::variant<cat::Loop, cat::StaleContext, cat::CostAnomaly, cat::Deadlock, cat::Hallucination,
                 cat::PromptInjection, cat::SecretLeak, cat::VarietyCollapse, cat::ConversationStall,
                 cat::GoalDrift, cat::ModelMismatch, cat::AccuracyRisk, cat::RunawayCost,
                 cat::ResourceExhaustion, cat::OutputDegradation, cat::ComplianceGap>;

// The sixteen category names, in category order ("loop" ... "compliance_gap");
// they are also the detector names.
extern const char* const kCategoryNames[16];
const char* category_name(const IssueCategory& c);

struct DetectedIssue {
    Uuid id = Uuid::v4();
    std::string agent_id;
    IssueCategory category;
    Severity severity = Severity::Info;
    double confidence = 0;
    std::string description;
    std::string evidence;
    std::vector<std::string> suggested_strategies;
};

struct StrategyResult {
    std::string strategy_name;
    Intervention intervention;
    std::uint32_t priority = 0;
    double confidence = 0;
    std::string reasoning;
};

std::string debug_text(const IssueCategory& c);
std::string debug_text(const DetectedIssue& d);
std::string debug_text(const StrategyResult& r);

}  // namespace tavri
