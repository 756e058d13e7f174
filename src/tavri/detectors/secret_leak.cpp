#include <array>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "tavri/detectors/detectors_a.h"

namespace tavri {
namespace {

struct SecretPattern {
    std::string_view needle;
    std::string_view label;
};

// Public prefixes of well-known credential formats. Order matters: an
// Anthropic key also starts like an OpenAI key and yields both findings.
constexpr std::array<SecretPattern, 9> kSecretPatterns{{
    {"sk-ant-", "Anthropic API key"},
    {"sk-", "OpenAI API key"},
    {"AKIA", "AWS Access Key"},
    {"ghp_", "GitHub Personal Access Token"},
    {"xoxb-", "Slack Bot Token"},
    {"BEGIN RSA PRIVATE KEY", "RSA Private Key"},
    {"BEGIN OPENSSH PRIVATE KEY", "SSH Private Key"},
    {"--password", "Password in argument"},
    // Every Base64url-encoded JSON object (a JWT header) starts with "eyJ".
    {"Bearer eyJ", "JWT Token in output"},
}};

class SecretLeakDetector final : public Detector {
public:
    std::string name() const override { return "secret_leak"; }
    std::string description() const override {
        return "Detects API keys, tokens, passwords, and credentials in agent output";
    }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        std::vector<DetectedIssue> issues;
        for (const auto& obs : observations) {
            // A present `content` wins even when it is not text, so it can
            // hide `output`.
            const Json* chosen = json_member(obs, "content");
            if (chosen == nullptr) chosen = json_member(obs, "output");
            if (chosen == nullptr || !chosen->is_string()) continue;
            const std::string& text = chosen->get_ref<const std::string&>();

            for (const auto& pattern : kSecretPatterns) {
                if (text.find(pattern.needle) == std::string::npos) continue;
                DetectedIssue issue;
                issue.agent_id = std::string(agent_id);
                issue.category = cat::SecretLeak{std::string(pattern.label)};
                issue.severity = Severity::Critical;
                issue.confidence = 1.0;
                issue.description =
                    fmt::format("Agent output contains a {} — possible secret leak", pattern.label);
                issue.evidence = fmt::format("Pattern '{}' detected in output", pattern.needle);
                issue.suggested_strategies = {"circuit_break", "quarantine", "pause"};
                issues.push_back(std::move(issue));
            }
        }
        return issues;
    }
};

}  // namespace

DetectorPtr make_secret_leak_detector() { return std::make_shared<SecretLeakDetector>(); }

}  // namespace tavri
