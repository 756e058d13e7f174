// Route matching and the request-layer rejections.
#include <gtest/gtest.h>

#include <string>

#include "tavri/server/app.h"

using namespace tavri;
using namespace tavri::server;

namespace {

Response echo(const std::string& tag) {
    return Response::json(Json{{"route", tag}});
}

Router test_router() {
    std::vector<Route> routes = {
        {"GET", "/api/v1/sessions", [](const AppState&, const Request&) { return echo("list"); }},
        {"POST", "/api/v1/sessions", [](const AppState&, const Request& r) { return Response::json(*r.json); }, true},
        {"GET", "/api/v1/sessions/{id}", [](const AppState&, const Request& r) { return echo("id:" + r.param("id")); }},
        {"DELETE", "/api/v1/sessions/{id}", [](const AppState&, const Request&) { return echo("delete"); }},
        {"POST", "/api/v1/skills/compose", [](const AppState&, const Request&) { return echo("compose"); }},
        {"GET", "/api/v1/skills/{name}", [](const AppState&, const Request& r) { return echo("skill:" + r.param("name")); }},
        {"GET", "/boom", [](const AppState&, const Request&) -> Response { throw std::runtime_error("x"); }},
    };
    return Router(std::move(routes), [](const AppState&, const Request&) { return echo("fallback"); });
}

struct Case {
    const char* method;
    const char* path;
    const char* body;
    unsigned status;
    const char* route;  // expected "route" member, or nullptr when none
};

}  // namespace

TEST(ServerRouter, MatchesMethodsParamsAndFallback) {
    auto app = make_app_state(new_store());
    Router router = test_router();
    const std::vector<Case> cases = {
        {"GET", "/api/v1/sessions", "", 200, "list"},
        {"HEAD", "/api/v1/sessions", "", 200, "list"},
        {"PUT", "/api/v1/sessions", "", 405, nullptr},
        {"GET", "/api/v1/sessions/abc", "", 200, "id:abc"},
        {"GET", "/api/v1/sessions/a%2Fb%20c", "", 200, "id:a/b c"},
        {"GET", "/api/v1/sessions/caf%C3%A9", "", 200, "id:caf\xc3\xa9"},
        {"GET", "/api/v1/sessions/%zz", "", 400, nullptr},
        {"GET", "/api/v1/sessions/abc%4", "", 400, nullptr},
        {"GET", "/api/v1/sessions/%FF", "", 400, nullptr},  // not UTF-8
        {"DELETE", "/api/v1/sessions/x", "", 200, "delete"},
        {"POST", "/api/v1/sessions/x", "", 405, nullptr},
        {"GET", "/api/v1/sessions/", "", 200, "fallback"},       // empty segment is no parameter
        {"GET", "/api/v1/sessions/a/b", "", 200, "fallback"},
        {"DELETE", "/some/client/route", "", 200, "fallback"},
        {"GET", "/", "", 200, "fallback"},
        // A literal segment wins over a parameter, even when only its
        // method differs.
        {"POST", "/api/v1/skills/compose", "", 200, "compose"},
        {"GET", "/api/v1/skills/compose", "", 405, nullptr},
        {"GET", "/api/v1/skills/review", "", 200, "skill:review"},
        {"GET", "/boom", "", 500, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        Request req;
        req.method = c.method;
        req.path = c.path;
        req.body = c.body;
        Response res = router.dispatch(*app, req);
        EXPECT_EQ(res.status, c.status);
        Json body = Json::parse(res.body, nullptr, false);
        ASSERT_TRUE(body.is_object()) << res.body;
        if (c.route) {
            EXPECT_EQ(body.value("route", ""), c.route);
        } else {
            EXPECT_TRUE(body.contains("error")) << res.body;
        }
        if (res.status == 405) {
            bool has_allow = false;
            for (auto& [k, v] : res.headers) has_allow |= k == "Allow" && !v.empty();
            EXPECT_TRUE(has_allow);
        }
    }
}

TEST(ServerRouter, JsonRoutesRefuseBodiesThatAreNotJson) {
    auto app = make_app_state(new_store());
    Router router = test_router();
    const std::vector<std::pair<std::string, unsigned>> cases = {
        {R"({"a":1})", 200},
        {"[1,2]", 200},
        {"", 400},
        {"{not json", 400},
        {"\"\xff\"", 400},
        {std::string(1000, '[') + std::string(1000, ']'), 400},
    };
    for (const auto& [body, status] : cases) {
        SCOPED_TRACE(body.substr(0, 20));
        Request req;
        req.method = "POST";
        req.path = "/api/v1/sessions";
        req.body = body;
        Response res = router.dispatch(*app, req);
        EXPECT_EQ(res.status, status);
        if (status == 200) EXPECT_EQ(Json::parse(res.body), Json::parse(body));
    }
}

TEST(ServerRouter, QueryParametersAreDecoded) {
    Request req;
    req.query = "limit=10&name=a+b%21&flag&bad=%zz&limit=20";
    auto q = req.query_params();
    EXPECT_EQ(q["limit"], "10");
    EXPECT_EQ(q["name"], "a b!");
    EXPECT_EQ(q["flag"], "");
    EXPECT_EQ(q["bad"], "%zz");
}

TEST(ServerRouter, HealthRoutesAnswerTheirBodies) {
    auto app = make_app_state(new_store());
    Router router(route_table(), serve_index);
    auto get = [&](const char* path) {
        Request req;
        req.method = "GET";
        req.path = path;
        Response res = router.dispatch(*app, req);
        EXPECT_EQ(res.status, 200u);
        return res;
    };
    Json h1 = Json::parse(get("/api/v1/health").body);
    Json h2 = Json::parse(get("/api/v1/health").body);
    Json st = Json::parse(get("/api/v1/status").body);
    EXPECT_EQ(h1["status"], "ok");
    EXPECT_EQ(h2["requests"].get<std::uint64_t>(), h1["requests"].get<std::uint64_t>() + 1);
    EXPECT_EQ(st["requests"], h2["requests"]);
    EXPECT_EQ(st["version"], "0.3.0");
    EXPECT_EQ(get("/api/v1/health/readiness").body, R"({"ready":true,"store":"in_memory","version":"0.3.0"})");
    Response page = get("/no/such/page");
    EXPECT_EQ(page.content_type, "text/html; charset=utf-8");
    EXPECT_NE(page.body.find("<title>Tavri Dashboard</title>"), std::string::npos);
}
