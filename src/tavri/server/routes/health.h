// The three health handlers: liveness with a request counter, status, and
// readiness.
#pragma once

#include "tavri/server/app.h"

namespace tavri::server::routes {

Response health(const AppState& app, const Request& req);
Response status(const AppState& app, const Request& req);
Response readiness(const AppState& app, const Request& req);

}  // namespace tavri::server::routes
