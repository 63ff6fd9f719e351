/*
 * page_visit.hpp - what the web desk's HTML routes share (routes_pages.cpp,
 * routes_admin.cpp): the visit a handler is given, reading form fields,
 * and showing a page over the library.
 */
#ifndef LENDREC_WEB_PAGE_VISIT_HPP
#define LENDREC_WEB_PAGE_VISIT_HPP

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include <httplib.h>

#include "pages.hpp"
#include "server.hpp"

namespace web {

/* A form field that should be an identifier but is not: answered 400. */
struct BadField {
    std::string reason;
};

/* What a page handler is given, as the API's handlers are. */
struct Visit {
    const httplib::Request& req;
    httplib::Response& res;
    Session session;
    Context& context;
    desk::web::Frame frame() const
    {
        return {session.name, session.role == desk::Role::admin, session.csrf};
    }
};

using PageHandler = void (*)(Visit&);

/* Sets `status` and the HTML body `html`. */
void send_html(httplib::Response& res, int status, const std::string& html);

/* The field `name` of a form, posted plain or as a multipart upload's
 * part, or of the query; "" when the request has none. */
std::string form_value(const httplib::Request& req, const char* name);

/* The form or query field `name` as an identifier; none when empty.
 * Throws BadField when it is not digits. */
std::optional<std::size_t> id_field(const httplib::Request& req, const char* name);

/* Renders `make` over the library in memory with status `status`; over
 * the library read afresh, its history at hand, when `history` is true.
 * Throws what the library's reading and `make` throw. */
void show(Visit& visit, int status, const std::function<std::string(const desk::Library&)>& make,
          bool history = false);

/* The admin page with `frame`'s notes and errors, answered `status`. */
void show_admin(Visit& visit, const desk::web::Frame& frame, int status = 200);

/* The admin's routes (routes_admin.cpp): import, export, check, repair;
 * and the notices as CSV for the desk. */
void admin_import(Visit& visit);
void admin_export(Visit& visit);
void admin_check(Visit& visit);
void admin_repair(Visit& visit);
void notices_csv_get(Visit& visit);

} // namespace web

#endif
