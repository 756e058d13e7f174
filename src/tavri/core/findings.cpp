#include "tavri/core/findings.h"

#include "tavri/core/debug_text.h"

namespace tavri {

const char* const kCategoryNames[16] = {
    "loop",          "stale_context",    "cost_anomaly",       "deadlock",      "hallucination",
    "prompt_injection", "secret_leak",   "variety_collapse",   "conversation_stall", "goal_drift",
    "model_mismatch", "accuracy_risk",   "runaway_cost",       "resource_exhaustion",
    "output_degradation", "compliance_gap"};

namespace {
const char* const kCategoryTypeNames[16] = {
    "Loop",          "StaleContext",  "CostAnomaly",      "Deadlock",          "Hallucination",
    "PromptInjection", "SecretLeak",  "VarietyCollapse",  "ConversationStall", "GoalDrift",
    "ModelMismatch", "AccuracyRisk",  "RunawayCost",      "ResourceExhaustion", "OutputDegradation",
    "ComplianceGap"};
}

const char* to_string(Severity s) {
    static const char* const n[] = {"Info", "Warning", "Error", "Critical"};
    return n[static_cast<int>(s)];
}

std::optional<Severity> parse_severity(std::string_view s) {
    if (s == "Info") return Severity::Info;
    if (s == "Warning") return Severity::Warning;
    if (s == "Error") return Severity::Error;
    if (s == "Critical") return Severity::Critical;
    return std::nullopt;
}

const char* category_name(const IssueCategory& c) { return kCategoryNames[c.index()]; }

std::string debug_text(const IssueCategory& c) {
    debug::Record r(kCategoryTypeNames[c.index()]);
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, cat::Loop>) {
                r.str("tool", v.tool).u64("count", v.count).u64("window_count", v.window_count);
            } else if constexpr (std::is_same_v<T, cat::StaleContext>) {
                r.str("file_path", v.file_path).f64("pressure", v.pressure).u64("read_count", v.read_count);
            } else if constexpr (std::is_same_v<T, cat::CostAnomaly>) {
                r.f64("baseline", v.baseline).f64("latest", v.latest).f64("ratio", v.ratio);
            } else if constexpr (std::is_same_v<T, cat::Deadlock>) {
                r.field("agents", debug::text_list(v.agents)).u64("wait_secs", v.wait_secs);
            } else if constexpr (std::is_same_v<T, cat::Hallucination>) {
                r.str("reference", v.reference).str("kind", v.kind);
            } else if constexpr (std::is_same_v<T, cat::PromptInjection>) {
                r.str("phrases", v.phrases);
            } else if constexpr (std::is_same_v<T, cat::SecretLeak>) {
                r.str("label", v.label);
            } else if constexpr (std::is_same_v<T, cat::VarietyCollapse>) {
                r.f64("ratio", v.ratio).u64("compared", v.compared);
            } else if constexpr (std::is_same_v<T, cat::ConversationStall>) {
                r.u64("silence_secs", v.silence_secs);
            } else if constexpr (std::is_same_v<T, cat::GoalDrift>) {
                r.f64("similarity", v.similarity);
            } else if constexpr (std::is_same_v<T, cat::ModelMismatch>) {
                r.str("complexity", v.complexity)
                    .str("observed_model", v.observed_model)
                    .str("recommended_model", v.recommended_model);
            } else if constexpr (std::is_same_v<T, cat::AccuracyRisk>) {
                r.field("risks", debug::text_list(v.risks));
            } else if constexpr (std::is_same_v<T, cat::RunawayCost>) {
                r.f64("acceleration", v.acceleration);
            } else if constexpr (std::is_same_v<T, cat::ResourceExhaustion>) {
                r.str("resource", v.resource).f64("usage_pct", v.usage_pct);
            } else if constexpr (std::is_same_v<T, cat::OutputDegradation>) {
                r.f64("slope", v.slope).u64("window", v.window);
            } else if constexpr (std::is_same_v<T, cat::ComplianceGap>) {
                r.str("gap", v.gap);
            }
        },
        c);
    return r.done();
}

std::string debug_text(const DetectedIssue& d) {
    return debug::Record("DetectedIssue")
        .field("id", d.id.str())
        .str("agent_id", d.agent_id)
        .field("category", debug_text(d.category))
        .field("severity", to_string(d.severity))
        .f64("confidence", d.confidence)
        .str("description", d.description)
        .str("evidence", d.evidence)
        .field("suggested_strategies", debug::text_list(d.suggested_strategies))
        .done();
}

std::string debug_text(const StrategyResult& r) {
    return debug::Record("StrategyResult")
        .str("strategy_name", r.strategy_name)
        .field("intervention", debug_text(r.intervention))
        .u64("priority", r.priority)
        .f64("confidence", r.confidence)
        .str("reasoning", r.reasoning)
        .done();
}

}  // namespace tavri
