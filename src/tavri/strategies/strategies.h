// The remediation strategies: each answers a finding with one intervention
// or declines it.
//
// The registry consults strategies from the highest priority down and stops
// at the first answer, so the priorities below decide which remedy a finding
// gets; a strategy that answers everything shadows every strategy under it.
// All strategies are stateless (evaluate reads only the finding and the
// constructor value), so one instance can be shared freely across threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tavri/core/findings.h"
#include "tavri/core/plugin.h"

namespace tavri {

// Critical secret leaks and compliance gaps: stop the agent outright.
class CircuitBreakStrategy final : public Strategy {
public:
    std::string name() const override { return "circuit_break"; }
    std::uint32_t priority() const override { return 100; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& issue) override;
};

// Error and Critical findings: restrict tools, or sandbox entirely.
class IsolateStrategy final : public Strategy {
public:
    std::string name() const override { return "isolate"; }
    std::uint32_t priority() const override { return 50; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& issue) override;
};

class ReplaceStrategy final : public Strategy {
public:
    std::string name() const override { return "replace"; }
    std::uint32_t priority() const override { return 45; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& issue) override;
};

// Secret leaks and compliance gaps of any severity.
class QuarantineStrategy final : public Strategy {
public:
    std::string name() const override { return "quarantine"; }
    std::uint32_t priority() const override { return 40; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& issue) override;
};

class InterjectStrategy final : public Strategy {
public:
    std::string name() const override { return "interject"; }
    std::uint32_t priority() const override { return 35; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& issue) override;
};

// Critical findings, or any finding with confidence of at least 0.9.
class PauseStrategy final : public Strategy {
public:
    std::string name() const override { return "pause"; }
    std::uint32_t priority() const override { return 30; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& issue) override;
};

class RollbackStrategy final : public Strategy {
public:
    std::string name() const override { return "rollback"; }
    std::uint32_t priority() const override { return 28; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& issue) override;
};

class EscalateStrategy final : public Strategy {
public:
    std::string name() const override { return "escalate"; }
    std::uint32_t priority() const override { return 25; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& issue) override;
};

class RerouteStrategy final : public Strategy {
public:
    std::string name() const override { return "reroute"; }
    std::uint32_t priority() const override { return 22; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& issue) override;
};

// Stale-context findings only; the layer follows the context pressure.
class CompactStrategy final : public Strategy {
public:
    explicit CompactStrategy(double target_ratio) : target_ratio_(target_ratio) {}
    std::string name() const override { return "compact"; }
    std::uint32_t priority() const override { return 20; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& issue) override;

private:
    const double target_ratio_;
};

// Variety-collapse findings only.
class DiversifyStrategy final : public Strategy {
public:
    std::string name() const override { return "diversify"; }
    std::uint32_t priority() const override { return 20; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& issue) override;
};

class ForkStrategy final : public Strategy {
public:
    std::string name() const override { return "fork"; }
    std::uint32_t priority() const override { return 18; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& issue) override;
};

class DegradeStrategy final : public Strategy {
public:
    std::string name() const override { return "degrade"; }
    std::uint32_t priority() const override { return 15; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& issue) override;
};

// The gentlest remedy; the hint depends on the finding's category.
class NudgeStrategy final : public Strategy {
public:
    std::string name() const override { return "nudge"; }
    std::uint32_t priority() const override { return 10; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& issue) override;
};

StrategyPtr make_nudge_strategy();
StrategyPtr make_compact_strategy(double target_ratio);
StrategyPtr make_pause_strategy();
StrategyPtr make_escalate_strategy();
StrategyPtr make_replace_strategy();
StrategyPtr make_reroute_strategy();
StrategyPtr make_rollback_strategy();
StrategyPtr make_diversify_strategy();
StrategyPtr make_fork_strategy();
StrategyPtr make_interject_strategy();
StrategyPtr make_isolate_strategy();
StrategyPtr make_quarantine_strategy();
StrategyPtr make_degrade_strategy();
StrategyPtr make_circuit_break_strategy();

}  // namespace tavri
