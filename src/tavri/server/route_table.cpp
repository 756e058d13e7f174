// Every path the server answers. Paths use {name} for one segment; a
// method not listed for a known path is refused with 405, and unknown paths
// get the dashboard page (client-side routes of the single-page app).
#include "tavri/server/app.h"
#include "tavri/server/routes/health.h"

namespace tavri::server {

std::vector<Route> route_table() {
    return {
        {"GET", "/api/v1/health", routes::health},
        {"GET", "/api/v1/status", routes::status},
        {"GET", "/api/v1/health/readiness", routes::readiness},
    };
}

}  // namespace tavri::server
