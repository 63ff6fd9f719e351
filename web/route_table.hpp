/*
 * route_table.hpp - registering a table of routes (the API's, the pages')
 * on the server, each row a method, a path pattern and what serves it.
 */
#ifndef LENDREC_WEB_ROUTE_TABLE_HPP
#define LENDREC_WEB_ROUTE_TABLE_HPP

#include <cstddef>
#include <string_view>

#include <httplib.h>

namespace web {

/* Registers every row of `routes` (each with a `method`, "GET" or "POST",
 * and a `pattern`) on `server`: a request on one calls
 * `serve(row, posts, req, res)`, `posts` true for a POST. The rows are
 * copied; `serve` is copied into each and must outlive the server in what
 * it refers to. */
template <typename Route, std::size_t N, typename Serve>
void add_route_table(httplib::Server& server, const Route (&routes)[N], Serve serve)
{
    for (const Route& route : routes) {
        const bool posts = std::string_view(route.method) == "POST";
        auto handler = [serve, route, posts](const httplib::Request& req, httplib::Response& res) {
            serve(route, posts, req, res);
        };
        if (posts)
            server.Post(route.pattern, handler);
        else
            server.Get(route.pattern, handler);
    }
}

} // namespace web

#endif
