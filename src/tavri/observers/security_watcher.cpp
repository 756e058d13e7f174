#include <memory>

#include "tavri/core/text.h"
#include "tavri/observers/observers_a.h"

namespace tavri {

namespace watch_a {

std::vector<std::string> matched_patterns(std::string_view text, const std::vector<std::string>& patterns) {
    std::string haystack = text::to_lower(text);
    std::vector<std::string> found;
    for (const auto& pattern : patterns) {
        if (text::contains(haystack, text::to_lower(pattern))) found.push_back(pattern);
    }
    return found;
}

}  // namespace watch_a

const std::vector<std::string>& SecurityWatcher::secret_patterns() {
    static const std::vector<std::string> patterns = {
        "sk-",              // OpenAI-style secret key
        "api_key",
        "RSA PRIVATE KEY",  // PEM private-key header
        "AWS_ACCESS_KEY",
        "ghp_",             // GitHub personal access token
        "xoxb-",            // Slack bot token
        "token=",
        "password=",
        "secret=",
    };
    return patterns;
}

const std::vector<std::string>& SecurityWatcher::injection_patterns() {
    static const std::vector<std::string> patterns = {
        "ignore previous instructions", "you are now DAN", "system override",
        "pretend you are",              "new instructions:", "forget everything",
    };
    return patterns;
}

const std::vector<std::string>& SecurityWatcher::dangerous_command_patterns() {
    static const std::vector<std::string> patterns = {
        "rm -rf /", "curl | bash", "sudo ", "chmod 777", "DROP TABLE", "; DROP ", "eval(",
    };
    return patterns;
}

namespace {

Observation alert(const char* kind, std::vector<std::string> patterns) {
    Json obs = Json::object();
    obs["dimension"] = "security";
    obs["alert"] = kind;
    obs["patterns"] = std::move(patterns);
    return obs;
}

}  // namespace

std::optional<Observation> SecurityWatcher::observe(const AgentEvent& event) {
    if (const auto* out = std::get_if<ev::OutputComplete>(&event)) {
        auto found = watch_a::matched_patterns(out->content, secret_patterns());
        if (found.empty()) return std::nullopt;
        return alert("secret_leak", std::move(found));
    }
    if (const auto* msg = std::get_if<ev::MessageReceived>(&event)) {
        const auto* txt = std::get_if<mc::Text>(&msg->content);
        if (txt == nullptr) return std::nullopt;
        auto found = watch_a::matched_patterns(txt->text, injection_patterns());
        if (found.empty()) return std::nullopt;
        return alert("prompt_injection", std::move(found));
    }
    if (const auto* start = std::get_if<ev::ToolCallStart>(&event)) {
        // Scanning the serialised arguments finds a command wherever it sits:
        // nested values, arrays, even member names. Invalid UTF-8 in the
        // arguments is replaced rather than allowed to abort the scan.
        std::string args = start->args.dump(-1, ' ', false, Json::error_handler_t::replace);
        auto found = watch_a::matched_patterns(args, dangerous_command_patterns());
        if (found.empty()) return std::nullopt;
        Observation obs = alert("dangerous_tool_call", std::move(found));
        obs["tool"] = start->tool;
        return obs;
    }
    return std::nullopt;
}

ObserverPtr make_security_watcher() { return std::make_shared<SecurityWatcher>(); }

}  // namespace tavri
