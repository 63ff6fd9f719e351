/*
 * api.hpp - the web desk's JSON API under /api/: the engine's views in
 * the same shapes as `lendrec ... --json` (schemas/), and its operations.
 *
 * Statuses: 200 or 201 done; 400 input that cannot be read (malformed
 * JSON, a field of the wrong type, an unknown field); 401 not logged in;
 * 403 not allowed (the role, a missing or wrong X-CSRF-Token, a foreign
 * Origin); 404 no such record; 409 refused by a rule, with {"error",
 * "reason"}; 413 too large; 429 too many failed logins (Retry-After);
 * 503 another clerk holds the library; 500 could not be written, nothing
 * changed.
 */
#ifndef LENDREC_WEB_API_HPP
#define LENDREC_WEB_API_HPP

#include <httplib.h>

#include "server.hpp"

namespace web {

/* Adds every /api/ route to `server`, each reaching `context`, which must
 * outlive the server. */
void add_api_routes(httplib::Server& server, Context& context);

} // namespace web

#endif
