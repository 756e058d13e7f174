#include "tavri/core/health.h"

namespace tavri {

namespace {

const char* const kTrends[3] = {"Improving", "Stable", "Degrading"};

struct DimRef {
    const char* name;
    double HealthDimensions::*required;
    std::optional<double> HealthDimensions::*optional;
};
const DimRef kDims[12] = {
    {"token_efficiency", &HealthDimensions::token_efficiency, nullptr},
    {"latency", &HealthDimensions::latency, nullptr},
    {"cost", &HealthDimensions::cost, nullptr},
    {"accuracy", &HealthDimensions::accuracy, nullptr},
    {"orchestration", &HealthDimensions::orchestration, nullptr},
    {"communication", nullptr, &HealthDimensions::communication},
    {"security", &HealthDimensions::security, nullptr},
    {"reliability", &HealthDimensions::reliability, nullptr},
    {"context_quality", &HealthDimensions::context_quality, nullptr},
    {"memory", nullptr, &HealthDimensions::memory},
    {"compliance", &HealthDimensions::compliance, nullptr},
    {"diversity", nullptr, &HealthDimensions::diversity},
};

}  // namespace

const char* to_string(HealthTrend t) { return kTrends[static_cast<int>(t)]; }

OrderedJson health_to_json(const HealthScore& h) {
    OrderedJson dims = OrderedJson::object();
    for (const auto& d : kDims) {
        if (d.required) {
            dims[d.name] = h.dimensions.*d.required;
        } else {
            const auto& o = h.dimensions.*d.optional;
            dims[d.name] = o ? OrderedJson(*o) : OrderedJson(nullptr);
        }
    }
    OrderedJson out = OrderedJson::object();
    out["agent_id"] = h.agent_id;
    out["overall"] = h.overall;
    out["dimensions"] = std::move(dims);
    out["trend"] = to_string(h.trend);
    return out;
}

Result<HealthScore, JsonError> health_from_json(const Json& v) {
    if (!v.is_object()) return make_err(JsonError::invalid_type("non-object", "struct HealthScore"));
    HealthScore h;
    auto need = [&](const char* key) -> const Json* {
        auto it = v.find(key);
        return it == v.end() ? nullptr : &*it;
    };
    const Json* id = need("agent_id");
    if (!id) return make_err(JsonError::missing_field("agent_id"));
    if (!id->is_string()) return make_err(JsonError::invalid_type("non-string", "a string"));
    h.agent_id = id->get<std::string>();
    const Json* overall = need("overall");
    if (!overall) return make_err(JsonError::missing_field("overall"));
    if (!overall->is_number()) return make_err(JsonError::invalid_type("non-number", "f64"));
    h.overall = overall->get<double>();
    const Json* dims = need("dimensions");
    if (!dims) return make_err(JsonError::missing_field("dimensions"));
    if (!dims->is_object()) return make_err(JsonError::invalid_type("non-object", "struct HealthDimensions"));
    for (const auto& d : kDims) {
        auto it = dims->find(d.name);
        if (d.required) {
            if (it == dims->end()) return make_err(JsonError::missing_field(d.name));
            if (!it->is_number()) return make_err(JsonError::invalid_type("non-number", "f64"));
            h.dimensions.*d.required = it->get<double>();
        } else if (it != dims->end() && !it->is_null()) {
            if (!it->is_number()) return make_err(JsonError::invalid_type("non-number", "f64"));
            h.dimensions.*d.optional = it->get<double>();
        }
    }
    const Json* trend = need("trend");
    if (!trend) return make_err(JsonError::missing_field("trend"));
    if (!trend->is_string()) return make_err(JsonError::invalid_type("non-string", "variant identifier"));
    const auto& t = trend->get_ref<const std::string&>();
    bool found = false;
    for (int i = 0; i < 3; ++i)
        if (t == kTrends[i]) h.trend = static_cast<HealthTrend>(i), found = true;
    if (!found) return make_err(JsonError::unknown_variant(t, kTrends, 3));
    return h;
}

OrderedJson run_result_to_json(const HarnessRunResult& r) {
    OrderedJson out = OrderedJson::object();
    out["agent_id"] = r.agent_id;
    out["observation_count"] = r.observation_count;
    out["detection_count"] = r.detection_count;
    out["intervention_count"] = r.intervention_count;
    out["success"] = r.success;
    return out;
}

}  // namespace tavri
