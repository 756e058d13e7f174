#include "tavri/server/store.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include <fmt/format.h>
#include <unistd.h>

#include "tavri/core/home.h"
#include "tavri/server/json_limits.h"

namespace tavri::server {

namespace fs = std::filesystem;

// ---- status ----

const char* to_string(SessionStatus s) {
    switch (s) {
        case SessionStatus::Pending: return "pending";
        case SessionStatus::Running: return "running";
        case SessionStatus::Paused: return "paused";
        case SessionStatus::Completed: return "completed";
        case SessionStatus::Failed: return "failed";
        case SessionStatus::Cancelled: return "cancelled";
    }
    return "pending";
}

std::optional<SessionStatus> parse_session_status(std::string_view w) {
    static constexpr std::array<SessionStatus, 6> all{SessionStatus::Pending,   SessionStatus::Running,
                                                      SessionStatus::Paused,    SessionStatus::Completed,
                                                      SessionStatus::Failed,    SessionStatus::Cancelled};
    for (auto s : all)
        if (w == to_string(s)) return s;
    return std::nullopt;
}

// ---- record ----

SessionState SessionState::create(std::string id, std::string task, std::string agent_type, std::string preset) {
    SessionState s;
    s.id = std::move(id);
    s.task = std::move(task);
    s.agent_type = std::move(agent_type);
    s.preset = std::move(preset);
    s.created_at = now_utc();
    s.intervention_queue = std::make_shared<InterventionQueue>(kInterventionCapacity);
    s.intervention_queue->close();
    return s;
}

// ---- store ----

void SessionStore::insert(SessionState s) {
    std::string id = s.id;
    std::unique_lock lock(mu_);
    map_.insert_or_assign(std::move(id), std::move(s));
}

bool SessionStore::remove(std::string_view id) {
    std::unique_lock lock(mu_);
    return map_.erase(std::string(id)) > 0;
}

bool SessionStore::contains(std::string_view id) const {
    std::shared_lock lock(mu_);
    return map_.count(std::string(id)) > 0;
}

std::size_t SessionStore::size() const {
    std::shared_lock lock(mu_);
    return map_.size();
}

std::vector<std::string> SessionStore::ids() const {
    std::shared_lock lock(mu_);
    std::vector<std::string> out;
    out.reserve(map_.size());
    for (const auto& [id, s] : map_) out.push_back(id);
    return out;
}

SharedSessionStore new_store() { return std::make_shared<SessionStore>(); }

// ---- file names ----

namespace {

constexpr std::size_t kMaxPlainStem = 200;

bool safe_char(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

// Names Windows treats as devices whatever the extension ("con.json").
bool reserved_device_name(std::string_view id) {
    std::string base(id.substr(0, id.find('.')));
    for (auto& c : base) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    static constexpr std::array<std::string_view, 4> plain{"con", "prn", "aux", "nul"};
    for (auto n : plain)
        if (base == n) return true;
    if (base.size() == 4 && (base.starts_with("com") || base.starts_with("lpt")) && base[3] >= '0' && base[3] <= '9')
        return true;
    return false;
}

bool plain_id(std::string_view id) {
    if (id.empty() || id.size() > kMaxPlainStem || id.front() == '.') return false;
    for (unsigned char c : id)
        if (!safe_char(c)) return false;
    return !reserved_device_name(id);
}

std::uint64_t fnv1a64(std::string_view s) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

void append_hex(std::string& out, std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string session_file_stem(std::string_view id) {
    if (plain_id(id)) return std::string(id);
    std::string out = "~";
    if (id.size() * 2 <= kMaxPlainStem) {
        append_hex(out, id);
        return out;
    }
    // Too long for a file name: a readable prefix plus a hash of the whole
    // id ("~~" keeps these apart from the reversible form).
    out = "~~";
    append_hex(out, id.substr(0, 64));
    out += fmt::format("-{:016x}", fnv1a64(id));
    return out;
}

std::optional<std::string> decode_session_file_stem(std::string_view stem) {
    if (!stem.starts_with('~')) {
        if (plain_id(stem)) return std::string(stem);
        return std::nullopt;
    }
    std::string_view hex = stem.substr(1);
    if (hex.starts_with('~') || hex.size() % 2 != 0) return std::nullopt;
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int hi = hex_value(hex[i]), lo = hex_value(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<char>(hi * 16 + lo));
    }
    return out;
}

fs::path sessions_dir() { return home_dir() / ".tavri" / "sessions"; }

// ---- file content ----

namespace {

Json optional_time(const std::optional<Timestamp>& t) {
    if (!t) return nullptr;
    return format_rfc3339(*t, UtcSuffix::PlusZero);
}

Json optional_text(const std::optional<std::string>& t) {
    if (!t) return nullptr;
    return *t;
}

}  // namespace

Json session_to_file_json(const SessionState& s) {
    Json events = Json::array();
    for (auto it = s.events.rbegin(); it != s.events.rend() && events.size() < kPersistedEvents; ++it) {
        auto j = event_to_json(*it);
        if (j.ok()) events.push_back(std::move(j).value());
    }
    Json pressure = Json::array();
    for (double p : s.context_pressure_history) pressure.push_back(json_number(p));
    Json prompts = Json::array();
    for (const auto& p : s.prompt_history) prompts.push_back(p);

    Json out = Json::object();
    out["agent_type"] = s.agent_type;
    out["completed_at"] = optional_time(s.completed_at);
    out["context_pressure_history"] = std::move(pressure);
    out["created_at"] = format_rfc3339(s.created_at, UtcSuffix::PlusZero);
    out["detections_count"] = s.detections.size();
    out["event_count"] = s.event_count;
    out["events"] = std::move(events);
    out["health_score"] = s.health_score ? Json(health_to_json(*s.health_score)) : Json(nullptr);
    out["id"] = s.id;
    out["interventions_count"] = s.interventions.size();
    out["model_name"] = optional_text(s.model_name);
    out["observations_count"] = s.observations.size();
    out["preset"] = s.preset;
    out["prompt_history"] = std::move(prompts);
    out["status"] = to_string(s.status);
    out["stop_reason"] = optional_text(s.stop_reason);
    out["subagent_count"] = s.subagent_count;
    out["task"] = s.task;
    out["tool_counts"] = s.tool_counts;
    out["tool_errors"] = s.tool_errors;
    out["total_cache_read"] = s.total_cache_read;
    out["total_cache_write"] = s.total_cache_write;
    out["total_input_tokens"] = s.total_input_tokens;
    out["total_output_tokens"] = s.total_output_tokens;
    out["user_prompt_count"] = s.user_prompt_count;
    return out;
}

SessionState session_from_file_json(const Json& v) {
    SessionState s = SessionState::create(json_str(v, "id").value_or(""), json_str(v, "task").value_or(""),
                                          json_str(v, "agent_type").value_or("solo"),
                                          json_str(v, "preset").value_or("solo"));
    s.event_count = json_u64(v, "event_count").value_or(0);
    s.total_input_tokens = json_u64(v, "total_input_tokens").value_or(0);
    s.total_output_tokens = json_u64(v, "total_output_tokens").value_or(0);
    s.total_cache_read = json_u64(v, "total_cache_read").value_or(0);
    s.total_cache_write = json_u64(v, "total_cache_write").value_or(0);
    s.model_name = json_str(v, "model_name");
    s.stop_reason = json_str(v, "stop_reason");

    if (const Json* events = json_member(v, "events"); events && events->is_array()) {
        // The file lists newest first; keep the newest kMaxEvents so a file
        // edited by hand cannot push the list past its bound.
        for (const Json& e : *events) {
            if (s.events.size() >= kMaxEvents) break;
            auto ev = event_from_json(e);
            if (ev.ok()) s.events.push_front(std::move(ev).value());
        }
        s.event_count = s.events.size();
    }

    s.subagent_count = json_u64(v, "subagent_count").value_or(0);
    s.user_prompt_count = json_u64(v, "user_prompt_count").value_or(0);
    if (const Json* prompts = json_member(v, "prompt_history"); prompts && prompts->is_array()) {
        for (const Json& p : *prompts)
            if (p.is_string()) push_bounded(s.prompt_history, p.get<std::string>(), kMaxPrompts);
    }
    if (const Json* h = json_member(v, "health_score"); h && h->is_object()) {
        auto hs = health_from_json(*h);
        if (hs.ok()) s.health_score = std::move(hs).value();
    }
    auto status = parse_session_status(json_str(v, "status").value_or(""));
    s.status = status && *status != SessionStatus::Cancelled ? *status : SessionStatus::Pending;
    return s;
}

// ---- save and load ----

namespace {

// Saves are serialised so the periodic and the final save never share a
// temporary file.
std::mutex& save_mutex() {
    static std::mutex mu;
    return mu;
}

bool write_file_atomically(const fs::path& target, const std::string& text) {
    fs::path tmp = target;
    tmp += fmt::format(".{}.tmp", static_cast<long>(::getpid()));
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ec;
            fs::remove(tmp, ec);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(tmp, target, ec);
    if (ec) {
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

std::optional<std::string> read_whole_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return std::move(ss).str();
}

}  // namespace

std::size_t save_sessions(const SessionStore& store, const fs::path& dir_in) {
    std::lock_guard serial(save_mutex());
    const fs::path dir = dir_in.empty() ? sessions_dir() : dir_in;
    std::error_code ec;
    fs::create_directories(dir, ec);

    std::size_t written = 0;
    for (const std::string& id : store.ids()) {
        // The lock covers building this one record's JSON; the text and the
        // disk work happen after it is released, so ingestion never waits on
        // the disk.
        auto doc = store.read(id, [](const SessionState& s) { return session_to_file_json(s); });
        if (!doc) continue;  // removed meanwhile
        // Invalid UTF-8 in a text (from a hand-edited file) is replaced, not fatal.
        std::string text = doc->dump(2, ' ', false, Json::error_handler_t::replace);
        if (write_file_atomically(dir / (session_file_stem(id) + ".json"), text)) ++written;
    }
    return written;
}

std::size_t load_sessions(SessionStore& store, const fs::path& dir_in) {
    const fs::path dir = dir_in.empty() ? sessions_dir() : dir_in;
    std::error_code ec;
    if (!fs::exists(dir, ec) || ec) return 0;
    fs::directory_iterator it(dir, ec), end;
    if (ec) return 0;

    std::size_t loaded = 0;
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        const fs::path& p = it->path();
        if (p.extension() != ".json" || !it->is_regular_file(ec)) continue;
        auto text = read_whole_file(p);
        if (!text || !json_nesting_within(*text, kMaxJsonDepth)) continue;
        Json doc = Json::parse(*text, nullptr, /*allow_exceptions=*/false);
        // Anything but an object is not a session file.
        if (doc.is_discarded() || !doc.is_object()) continue;
        store.insert(session_from_file_json(doc));
        ++loaded;
    }
    return loaded;
}

}  // namespace tavri::server
