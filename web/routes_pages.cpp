/*
 * routes_pages.cpp - the web desk's HTML routes: each page (pages.hpp)
 * over the library in memory, and the forms that lend, take back, renew,
 * place holds and, for admins, add books and members. A form's change is
 * answered with the page it was made from, the outcome told at its top.
 */
#include <sodium.h>

#include <fmt/format.h>

#include "catalogue.hpp"
#include "circulation.hpp"
#include "fines.hpp"
#include "holds.hpp"
#include "policy.hpp"
#include "members.hpp"
#include "notices.hpp"
#include "text.hpp"
#include "views.hpp"
#include "pages.hpp"
#include "page_visit.hpp"
#include "route_table.hpp"
#include "static_files.hpp"

namespace web {

/* Kept out of the anonymous namespace below: page_visit.hpp shares them. */

void send_html(httplib::Response& res, int status, const std::string& html)
{
    res.status = status;
    res.set_content(html, "text/html; charset=utf-8");
}

std::string form_value(const httplib::Request& req, const char* name)
{
    if (req.has_param(name) || !req.has_file(name))
        return req.get_param_value(name);
    return req.get_file_value(name).content;
}

std::optional<std::size_t> id_field(const httplib::Request& req, const char* name)
{
    const std::string text = form_value(req, name);
    if (text.empty())
        return std::nullopt;
    if (text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        throw BadField{fmt::format("{} must be a number, not \"{}\"", name, text)};
    return static_cast<std::size_t>(std::stoull(text));
}

void show(Visit& visit, int status, const std::function<std::string(const desk::Library&)>& make,
          bool history)
{
    std::string html;
    const auto render = [&](const desk::Library& lib) { html = make(lib); };
    if (history)
        visit.context.desk.read_with_history(render);
    else
        visit.context.desk.read(render);
    send_html(visit.res, status, html);
}

void show_admin(Visit& visit, const desk::web::Frame& frame, int status)
{
    const std::vector<desk::StaffAccount> staff = visit.context.desk.staff();
    show(visit, status,
         [&](const desk::Library& lib) { return desk::web::admin_page(frame, lib, staff); });
}

namespace {

namespace pages = desk::web;

void redirect(httplib::Response& res, const std::string& to)
{
    res.status = 303;
    res.set_header("Location", to);
}

std::size_t required_id(const httplib::Request& req, const char* name)
{
    std::optional<std::size_t> id = id_field(req, name);
    if (!id)
        throw BadField{fmt::format("give the {} number", name)};
    return *id;
}

std::size_t path_id(const httplib::Request& req)
{
    const std::string text = req.matches.size() > 1 ? req.matches[1].str() : "";
    if (text.empty() || text.size() > 18)
        throw BadField{"the number in the address is not a number"};
    return static_cast<std::size_t>(std::stoull(text));
}

/* The desk page for member `user` (none: the scan box), with `frame`. */
void show_desk(Visit& visit, const pages::Frame& frame, std::optional<std::size_t> user,
               const std::string& search = {}, int status = 200)
{
    show(visit, status, [&](const desk::Library& lib) {
        return pages::desk_page(frame, lib, user, desk::today(), search);
    });
}

/* Runs `change` as the visit's staff member, committed; the note it
 * returns. */
std::string changed(Visit& visit, const std::function<std::string(desk::Library&)>& change)
{
    std::string note;
    visit.context.desk.change(visit.session.name, [&](desk::Library& lib) { note = change(lib); });
    return note;
}

/* Runs `change` as the visit's staff member; the note it returns goes at
 * the top of the page then shown by `then`. */
void change_then(Visit& visit, const std::function<std::string(desk::Library&)>& change,
                 const std::function<void(const pages::Frame&)>& then)
{
    pages::Frame frame = visit.frame();
    frame.notes.push_back(changed(visit, change));
    then(frame);
}

/* Runs `act` at the desk, then shows the desk for `user` (read once `act`
 * is done) with the note `act` returns; when `act` is refused or a field
 * is unusable, with the reason in the alert region and the refusal's
 * status instead, so that the clerk keeps scanning. */
void at_desk(Visit& visit, const std::optional<std::size_t>& user,
             const std::function<std::string()>& act)
{
    pages::Frame frame = visit.frame();
    int status = 200;
    try {
        frame.notes.push_back(act());
    } catch (const BadField& bad) {
        frame.errors.push_back(bad.reason);
        status = 400;
    } catch (const desk::Failure& failure) {
        frame.errors.push_back(failure.what());
        status = http_status(failure);
    }
    show_desk(visit, frame, user, {}, status);
}

void desk_get(Visit& visit)
{
    show_desk(visit, visit.frame(), id_field(visit.req, "user"));
}

/* The scan box: a member's number or name without a member; a book's
 * number, lent to the member, with one. */
void desk_scan(Visit& visit)
{
    const std::optional<std::size_t> user = id_field(visit.req, "user");
    const std::string scan = visit.req.get_param_value("scan");
    if (!user) {
        if (!scan.empty() && scan.find_first_not_of("0123456789") != std::string::npos)
            return show_desk(visit, visit.frame(), std::nullopt, scan);
        return show_desk(visit, visit.frame(), required_id(visit.req, "scan"));
    }
    at_desk(visit, user, [&] {
        const std::size_t book = required_id(visit.req, "scan");
        return changed(visit, [&](desk::Library& lib) {
            const desk::Day day = desk::today();
            desk::LoanView loan =
                desk::LoanView::of(lib, desk::checkout(lib, book, *user, day, {}), day);
            return fmt::format("loan {}: {} lent, due {}", loan.id, loan.title.value_or(""),
                               loan.due);
        });
    });
}

/* What the return box tells of a return of `book`. */
std::string return_note(std::size_t book, const desk::Returned& back)
{
    std::string note = fmt::format("book {} returned", book);
    if (back.days_late > 0)
        note +=
            fmt::format(", {} late", desk::text::counted(static_cast<std::size_t>(back.days_late),
                                                         "day", "days"));
    if (back.set_aside)
        note += fmt::format("; set aside for hold {}", back.set_aside->id);
    return note;
}

/* The return box: the book's one open loan, or its loan to the member. */
void desk_return(Visit& visit)
{
    const std::optional<std::size_t> user = id_field(visit.req, "user");
    at_desk(visit, user, [&] {
        const std::size_t book = required_id(visit.req, "book");
        return changed(visit, [&](desk::Library& lib) {
            const desk::Day day = desk::today();
            return return_note(book, user ? desk::give_back(lib, book, *user, day)
                                          : desk::give_back_book(lib, book, day));
        });
    });
}

/* A renewal from the desk: the member's desk follows (the scan box when
 * there is no such loan). */
void renew_loan(Visit& visit)
{
    std::optional<std::size_t> user;
    at_desk(visit, user, [&] {
        const std::size_t loan = path_id(visit.req);
        return changed(visit, [&](desk::Library& lib) {
            user = ::borrow_get_user_id(desk::find_loan(lib, loan));
            const desk::Day due = desk::renew(lib, loan, desk::today(), {});
            return fmt::format("loan {} renewed: due {}", loan, desk::format_date(due));
        });
    });
}

/* The book's page, after a change to it or its holds. */
void show_book(Visit& visit, const pages::Frame& frame, std::size_t book)
{
    show(
        visit, 200,
        [&](const desk::Library& lib) { return pages::book_page(frame, lib, book, desk::today()); },
        true);
}

void place_hold(Visit& visit)
{
    const std::size_t book = required_id(visit.req, "book");
    const std::size_t user = required_id(visit.req, "user");
    change_then(
        visit,
        [&](desk::Library& lib) {
            const desk::Hold hold = desk::place_hold(lib, book, user, desk::today());
            return fmt::format("hold {} placed for member {}", hold.id, user);
        },
        [&](const pages::Frame& frame) { show_book(visit, frame, book); });
}

void cancel_hold(Visit& visit)
{
    const std::size_t id = path_id(visit.req);
    std::size_t book = 0;
    change_then(
        visit,
        [&](desk::Library& lib) {
            book = desk::cancel_hold(lib, id, desk::today()).book;
            return fmt::format("hold {} cancelled", id);
        },
        [&](const pages::Frame& frame) { show_book(visit, frame, book); });
}

/* The member's page, after a change to their fines. */
void show_user(Visit& visit, const pages::Frame& frame, std::size_t user)
{
    show(
        visit, 200,
        [&](const desk::Library& lib) { return pages::user_page(frame, lib, user, desk::today()); },
        true);
}

void pay_fines(Visit& visit)
{
    const std::size_t user = required_id(visit.req, "user");
    const std::size_t amount = desk::parse_amount(visit.req.get_param_value("amount"), "amount");
    change_then(
        visit,
        [&](desk::Library& lib) {
            const std::size_t left = desk::pay_fines(lib, user, amount, desk::today());
            return fmt::format("member {} paid {}; owes {}", user, desk::format_amount(amount),
                               desk::format_amount(left));
        },
        [&](const pages::Frame& frame) { show_user(visit, frame, user); });
}

void waive_fine(Visit& visit)
{
    const std::size_t id = path_id(visit.req);
    const std::string reason = visit.req.get_param_value("reason");
    std::size_t user = 0;
    change_then(
        visit,
        [&](desk::Library& lib) {
            user = desk::waive_fine(lib, id, reason, desk::today()).user;
            return fmt::format("fine {} waived", id);
        },
        [&](const pages::Frame& frame) { show_user(visit, frame, user); });
}

void search_get(Visit& visit)
{
    const std::string text = visit.req.get_param_value("q");
    show(visit, 200,
         [&](const desk::Library& lib) { return pages::search_page(visit.frame(), lib, text); });
}

void book_get(Visit& visit)
{
    const std::size_t id = path_id(visit.req);
    show(
        visit, 200,
        [&](const desk::Library& lib) {
            return pages::book_page(visit.frame(), lib, id, desk::today());
        },
        true);
}

void user_get(Visit& visit)
{
    const std::size_t id = path_id(visit.req);
    show(
        visit, 200,
        [&](const desk::Library& lib) {
            return pages::user_page(visit.frame(), lib, id, desk::today());
        },
        true);
}

void notices_get(Visit& visit)
{
    const std::size_t within = id_field(visit.req, "within").value_or(desk::kDefaultDueWithin);
    show(visit, 200, [&](const desk::Library& lib) {
        return pages::notices_page(visit.frame(), lib, desk::today(), within);
    });
}

/* What ?by= names: month unless genre, book or user. */
desk::CountBy count_by(const std::string& name)
{
    if (name == "genre")
        return desk::CountBy::genre;
    if (name == "book")
        return desk::CountBy::book;
    if (name == "user")
        return desk::CountBy::user;
    return desk::CountBy::month;
}

void reports_get(Visit& visit)
{
    const desk::Period period =
        desk::report_period(visit.req.get_param_value("from"), visit.req.get_param_value("to"));
    const desk::CountBy by = count_by(visit.req.get_param_value("by"));
    show(
        visit, 200,
        [&](const desk::Library& lib) {
            return pages::reports_page(visit.frame(), lib, period, by);
        },
        true);
}

void admin_get(Visit& visit)
{
    show_admin(visit, visit.frame());
}

/* A file of /static/ from memory, with its type; 404 for a name there
 * is none of. */
void static_get(const httplib::Request& req, httplib::Response& res)
{
    const StaticFile* file = static_file(req.matches.size() > 1 ? req.matches[1].str() : "");
    if (file == nullptr) {
        res.status = 404;
        return;
    }
    res.set_content(std::string(file->text), static_content_type(file->name));
}

/* The copies field of the add-book form: 1 when empty. */
std::size_t copies_field(const httplib::Request& req)
{
    return id_field(req, "copies").value_or(1);
}

void admin_add_book(Visit& visit)
{
    const desk::NewBook book{visit.req.get_param_value("title"),
                             visit.req.get_param_value("author"),
                             visit.req.get_param_value("genre"), copies_field(visit.req)};
    change_then(
        visit,
        [&](desk::Library& lib) { return fmt::format("book {} added", desk::add_book(lib, book)); },
        [&](const pages::Frame& frame) { show_admin(visit, frame); });
}

void admin_add_user(Visit& visit)
{
    const desk::NewUser user{visit.req.get_param_value("name"),
                             visit.req.get_param_value("address"),
                             visit.req.get_param_value("phone")};
    change_then(
        visit,
        [&](desk::Library& lib) {
            return fmt::format("member {} added", desk::add_user(lib, user));
        },
        [&](const pages::Frame& frame) { show_admin(visit, frame); });
}

/* The form's field `name` when the form has it. */
std::optional<std::string> given(const httplib::Request& req, const char* name)
{
    if (!req.has_param(name))
        return std::nullopt;
    return req.get_param_value(name);
}

void admin_edit_book(Visit& visit)
{
    const std::size_t id = path_id(visit.req);
    const desk::BookEdit edit{given(visit.req, "title"), given(visit.req, "author"),
                              given(visit.req, "genre"), id_field(visit.req, "copies")};
    change_then(
        visit,
        [&](desk::Library& lib) {
            desk::edit_book(lib, id, edit);
            return fmt::format("book {} changed", id);
        },
        [&](const pages::Frame& frame) { show_book(visit, frame, id); });
}

void admin_edit_user(Visit& visit)
{
    const std::size_t id = path_id(visit.req);
    const desk::UserEdit edit{given(visit.req, "name"), given(visit.req, "address"),
                              given(visit.req, "phone")};
    change_then(
        visit,
        [&](desk::Library& lib) {
            desk::edit_user(lib, id, edit);
            return fmt::format("member {} changed", id);
        },
        [&](const pages::Frame& frame) { show_user(visit, frame, id); });
}

void admin_remove_book(Visit& visit)
{
    const std::size_t id = path_id(visit.req);
    const bool purge = visit.req.get_param_value("purge") == "1";
    change_then(
        visit,
        [&](desk::Library& lib) {
            desk::remove_book(lib, id, purge);
            return fmt::format("book {} removed", id);
        },
        [&](const pages::Frame& frame) { show_admin(visit, frame); });
}

void admin_remove_user(Visit& visit)
{
    const std::size_t id = path_id(visit.req);
    const bool purge = visit.req.get_param_value("purge") == "1";
    change_then(
        visit,
        [&](desk::Library& lib) {
            desk::remove_user(lib, id, purge);
            return fmt::format("member {} removed", id);
        },
        [&](const pages::Frame& frame) { show_admin(visit, frame); });
}

/* True when the form brings the session's CSRF token. */
bool brings_csrf(const httplib::Request& req, const Session& session)
{
    const std::string given = form_value(req, "csrf");
    return given.size() == session.csrf.size() &&
           sodium_memcmp(given.data(), session.csrf.data(), given.size()) == 0;
}

enum class Need { desk, admin };

/* The error page of `status` for the visitor (`session` may be none). */
void send_error(Context& context, const httplib::Request& req, httplib::Response& res, int status,
                const std::string& message)
{
    std::optional<Session> session = session_of(context, req);
    pages::Frame frame;
    if (session)
        frame = {session->name, session->role == desk::Role::admin, session->csrf};
    send_html(res, status, pages::error_page(frame, status, message));
}

/* Runs `handler` for a logged-in visitor with the role `need`; a form that
 * posts must come from this server and bring the session's token. */
void visit(Context& context, const httplib::Request& req, httplib::Response& res, Need need,
           bool posts, PageHandler handler)
{
    try {
        if (posts && (req.body.size() > body_limit(req.path) || !same_origin(context, req)))
            return send_error(context, req, res, 403, "the form came from another site");
        std::optional<Session> session = session_of(context, req);
        if (!session)
            return redirect(res, "/login");
        if (need == Need::admin && session->role != desk::Role::admin)
            return send_error(context, req, res, 403, "only an admin may do this");
        if (posts && !brings_csrf(req, *session))
            return send_error(context, req, res, 403, "the form lacks the session's token");
        Visit call{req, res, *session, context};
        handler(call);
    } catch (const BadField& bad) {
        send_error(context, req, res, 400, bad.reason);
    } catch (const desk::Failure& failure) {
        send_error(context, req, res, http_status(failure), failure.what());
    }
}

void login_form(Context& context, const httplib::Request& req, httplib::Response& res)
{
    if (!same_origin(context, req))
        return send_html(res, 403, pages::login_page("the form came from another site"));
    const std::string name = req.get_param_value("name");
    const std::string password = req.get_param_value("password");
    if (long wait = context.throttle.wait_seconds(name, req.remote_addr); wait > 0) {
        res.set_header("Retry-After", std::to_string(wait));
        return send_html(res, 429, pages::login_page("too many failed logins; try again later"));
    }
    std::optional<desk::StaffAccount> account = context.desk.check_login(name, password);
    if (!account) {
        context.throttle.failed(name, req.remote_addr);
        return send_html(res, 401, pages::login_page("wrong name or password"));
    }
    context.throttle.succeeded(name, req.remote_addr);
    res.set_header("Set-Cookie", session_cookie(context, context.sessions.begin(*account)));
    redirect(res, "/desk");
}

void logout_form(Context& context, const httplib::Request& req, httplib::Response& res)
{
    std::optional<Session> session = session_of(context, req);
    if (session && (!same_origin(context, req) || !brings_csrf(req, *session)))
        return send_error(context, req, res, 403, "the form lacks the session's token");
    context.sessions.end(session_token(req));
    res.set_header("Set-Cookie", session_cookie(context, ""));
    redirect(res, "/login");
}

struct PageRoute {
    const char* method;
    const char* pattern;
    Need need;
    PageHandler handler;
};

constexpr PageRoute kPages[] = {
    {"GET", "/desk", Need::desk, desk_get},
    {"POST", "/desk/scan", Need::desk, desk_scan},
    {"POST", "/desk/return", Need::desk, desk_return},
    {"POST", R"(/loans/(\d+)/renew)", Need::desk, renew_loan},
    {"POST", "/holds", Need::desk, place_hold},
    {"POST", R"(/holds/(\d+)/cancel)", Need::desk, cancel_hold},
    {"POST", "/fines/pay", Need::desk, pay_fines},
    {"POST", R"(/fines/(\d+)/waive)", Need::admin, waive_fine},
    {"GET", "/search", Need::desk, search_get},
    {"GET", R"(/books/(\d+))", Need::desk, book_get},
    {"GET", R"(/users/(\d+))", Need::desk, user_get},
    {"GET", "/notices", Need::desk, notices_get},
    {"GET", "/notices.csv", Need::desk, notices_csv_get},
    {"GET", "/reports", Need::desk, reports_get},
    {"GET", "/admin", Need::admin, admin_get},
    {"POST", "/admin/check", Need::admin, admin_check},
    {"POST", "/admin/repair", Need::admin, admin_repair},
    {"POST", "/admin/import", Need::admin, admin_import},
    {"GET", R"(/admin/export/(books|users|loans)\.csv)", Need::admin, admin_export},
    {"POST", "/admin/books", Need::admin, admin_add_book},
    {"POST", "/admin/users", Need::admin, admin_add_user},
    {"POST", R"(/admin/books/(\d+))", Need::admin, admin_edit_book},
    {"POST", R"(/admin/books/(\d+)/remove)", Need::admin, admin_remove_book},
    {"POST", R"(/admin/users/(\d+))", Need::admin, admin_edit_user},
    {"POST", R"(/admin/users/(\d+)/remove)", Need::admin, admin_remove_user},
};

} // namespace

void add_page_routes(httplib::Server& server, Context& context)
{
    add_route_table(server, kPages,
                    [&context](const PageRoute& route, bool posts, const httplib::Request& req,
                               httplib::Response& res) {
                        visit(context, req, res, route.need, posts, route.handler);
                    });
    server.Get("/",
               [](const httplib::Request&, httplib::Response& res) { redirect(res, "/desk"); });
    server.Get("/login", [](const httplib::Request&, httplib::Response& res) {
        send_html(res, 200, pages::login_page(""));
    });
    server.Post("/login", [&context](const httplib::Request& req, httplib::Response& res) {
        login_form(context, req, res);
    });
    server.Post("/logout", [&context](const httplib::Request& req, httplib::Response& res) {
        logout_form(context, req, res);
    });
    server.Get(R"(/static/([A-Za-z0-9_.-]+))", static_get);
}

} // namespace web
