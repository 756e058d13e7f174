// The dashboard server's session store and its files.
//
// One record (SessionState) per monitored agent session, kept in a map from
// session id guarded by one reader-writer lock. Ingestion, the live
// endpoints and the session views all go through the small scoped accessors
// of SessionStore, so every lock scope is visible at its call site and none
// outlives a statement: callers copy what they need out of the callback and
// never call a plug-in, touch the disk or wait on a socket inside it.
//
// Persistence writes one pretty-printed JSON file per session under
// <home>/.tavri/sessions every 30 seconds and at shutdown, and reads them
// back once at start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tavri/core/channel.h"
#include "tavri/core/events.h"
#include "tavri/core/health.h"
#include "tavri/core/intervention.h"
#include "tavri/core/json.h"
#include "tavri/core/time.h"
#include "tavri/server/broadcast.h"

namespace tavri::server {

// List bounds of a session record.
inline constexpr std::size_t kMaxEvents = 1000;
inline constexpr std::size_t kMaxObservations = 200;       // event endpoint
inline constexpr std::size_t kMaxBatchObservations = 500;  // batch endpoint
inline constexpr std::size_t kMaxFindings = 100;           // detections, strategy results, interventions
inline constexpr std::size_t kMaxPrompts = 50;
inline constexpr std::size_t kPersistedEvents = 200;
inline constexpr std::size_t kLiveCapacity = 256;
inline constexpr std::size_t kInterventionCapacity = 64;

enum class SessionStatus : std::uint8_t { Pending, Running, Paused, Completed, Failed, Cancelled };
const char* to_string(SessionStatus s);  // "pending" ... "cancelled"
std::optional<SessionStatus> parse_session_status(std::string_view word);

using LiveChannel = Broadcast<AgentEvent>;
using InterventionQueue = BoundedChannel<Intervention>;

// The sending end of a session's live channel. Move-only; closes the channel
// when the record it belongs to goes away, so subscribers see their stream
// end when a session is removed or replaced.
class LiveSender {
public:
    LiveSender() : ch_(std::make_shared<LiveChannel>(kLiveCapacity)) {}
    LiveSender(LiveSender&&) noexcept = default;
    LiveSender& operator=(LiveSender&& o) noexcept {
        if (this != &o) {
            close();
            ch_ = std::move(o.ch_);
        }
        return *this;
    }
    LiveSender(const LiveSender&) = delete;
    LiveSender& operator=(const LiveSender&) = delete;
    ~LiveSender() { close(); }

    std::size_t send(const AgentEvent& e) { return ch_ ? ch_->send(e) : 0; }
    LiveChannel::Receiver subscribe() { return ch_ ? ch_->subscribe() : LiveChannel::Receiver(); }
    std::size_t receiver_count() const { return ch_ ? ch_->receiver_count() : 0; }

private:
    void close() {
        if (ch_) ch_->close();
    }
    std::shared_ptr<LiveChannel> ch_;
};

// Appends and drops the oldest entries beyond `limit`.
template <class T>
void push_bounded(std::deque<T>& list, T value, std::size_t limit) {
    list.push_back(std::move(value));
    while (list.size() > limit) list.pop_front();
}

struct SessionState {
    std::string id, task, agent_type, preset;
    SessionStatus status = SessionStatus::Pending;
    Timestamp created_at{};
    std::optional<Timestamp> completed_at;
    std::optional<HealthScore> health_score;
    std::optional<HarnessRunResult> result;

    std::deque<AgentEvent> events;           // oldest first, at most kMaxEvents
    std::deque<std::string> hook_names;      // batch and transcript endpoints only
    std::deque<Json> observations;           // kMaxObservations or kMaxBatchObservations
    std::deque<Json> detections;             // kMaxFindings
    std::deque<Json> strategy_results;       // kMaxFindings
    std::deque<Json> interventions;          // kMaxFindings
    std::vector<double> context_pressure_history;
    std::deque<std::string> prompt_history;  // kMaxPrompts
    std::optional<std::string> model_name, stop_reason;
    std::map<std::string, std::uint64_t> tool_counts, tool_errors;
    std::set<std::string> loop_reported_tools, detected_categories;

    std::uint64_t event_count = 0;
    std::uint64_t total_input_tokens = 0, total_output_tokens = 0, total_cache_read = 0, total_cache_write = 0;
    std::uint64_t total_tool_duration_ms = 0;
    std::uint64_t subagent_count = 0, user_prompt_count = 0;

    LiveSender live;
    // Nobody keeps the receiving end, so the queue is closed from the start
    // and every offer is refused.
    std::shared_ptr<InterventionQueue> intervention_queue;

    // A fresh record: the four texts, created_at = now, everything else initial.
    static SessionState create(std::string id, std::string task, std::string agent_type, std::string preset);

    // Offers without waiting; false when refused (always, see above).
    bool offer_intervention(Intervention iv) { return intervention_queue && intervention_queue->try_send(std::move(iv)); }

    SessionState(SessionState&&) noexcept = default;
    SessionState& operator=(SessionState&&) noexcept = default;

private:
    SessionState() = default;
};

class SessionStore {
public:
    // Calls f(const SessionState&) under the read lock; nothing when the id
    // is unknown. The callback's result is returned (wrapped), so the caller
    // copies out what it needs.
    template <class F>
    auto read(std::string_view id, F&& f) const {
        std::shared_lock lock(mu_);
        return apply_to(map_, id, f);
    }
    // Calls f(SessionState&) under the write lock; nothing when unknown.
    template <class F>
    auto write(std::string_view id, F&& f) {
        std::unique_lock lock(mu_);
        return apply_to(map_, id, f);
    }
    // Under the write lock: finds the record or inserts make() under `id`,
    // then calls f(SessionState&, bool created).
    template <class Make, class F>
    auto upsert(const std::string& id, Make&& make, F&& f) {
        std::unique_lock lock(mu_);
        auto it = map_.find(id);
        bool created = false;
        if (it == map_.end()) {
            it = map_.emplace(id, make()).first;
            created = true;
        }
        return f(it->second, created);
    }
    // Calls f(const SessionState&) for every record under one read lock.
    // Keep f short (copying a few fields); long work belongs outside.
    template <class F>
    void for_each(F&& f) const {
        std::shared_lock lock(mu_);
        for (const auto& [id, s] : map_) f(s);
    }
    // Inserts or replaces the record under its own id (write lock).
    void insert(SessionState s);
    // Removes the record (write lock); its live channel closes.
    bool remove(std::string_view id);
    bool contains(std::string_view id) const;
    std::size_t size() const;
    // All ids, in map order (read lock).
    std::vector<std::string> ids() const;

private:
    // Runs f on the session with this id (the caller holds the lock):
    // false / an empty optional when the id is unknown.
    template <class Map, class F>
    static auto apply_to(Map& map, std::string_view id, F& f) {
        auto it = map.find(std::string(id));
        using R = decltype(f(it->second));
        if constexpr (std::is_void_v<R>) {
            if (it == map.end()) return false;
            f(it->second);
            return true;
        } else {
            if (it == map.end()) return std::optional<R>();
            return std::optional<R>(f(it->second));
        }
    }

    mutable std::shared_mutex mu_;
    std::unordered_map<std::string, SessionState> map_;
};

using SharedSessionStore = std::shared_ptr<SessionStore>;

SharedSessionStore new_store();

// ---- persistence ----

// <home>/.tavri/sessions
std::filesystem::path sessions_dir();

// The file name (without ".json") under which a session id is stored. Ids
// made only of [A-Za-z0-9._-], not starting with '.', not a reserved device
// name and not too long are used as they are; any other id is written as
// "~" followed by its bytes in hex (a long one shortened with a hash), so it
// can never name a path outside the sessions directory nor collide with a
// plain id.
std::string session_file_stem(std::string_view id);
// The inverse for the names session_file_stem produces from short ids; the
// id stored inside the file stays the authoritative one.
std::optional<std::string> decode_session_file_stem(std::string_view stem);

// The persisted JSON object of one record (sorted keys).
Json session_to_file_json(const SessionState& s);
// A record read back from a persisted object, with every default of the
// loading rules.
SessionState session_from_file_json(const Json& v);

// Writes one file per stored session into `dir` (sessions_dir() when
// empty). Each record is turned into JSON under the read lock for that
// record only; the text is written after the lock is released, to a
// temporary file renamed over the old one, so a crash never leaves a
// truncated session file. Failures are silent; returns the number of files
// written.
std::size_t save_sessions(const SessionStore& store, const std::filesystem::path& dir = {});

// Reads every "*.json" file of `dir` (sessions_dir() when empty) into the
// store; unreadable or unparsable files are skipped. Returns how many were
// loaded.
std::size_t load_sessions(SessionStore& store, const std::filesystem::path& dir = {});

}  // namespace tavri::server
