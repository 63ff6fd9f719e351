/*
 * api.cpp - the JSON API's routes: each reads its input, calls the same
 * engine operation the command line calls, and answers with the engine's
 * views.
 */
#include "api.hpp"

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <new>
#include <set>
#include <sodium.h>

#include <nlohmann/json.hpp>

#include "catalogue.hpp"
#include "circulation.hpp"
#include "fines.hpp"
#include "holds.hpp"
#include "members.hpp"
#include "route_table.hpp"
#include "search.hpp"
#include "views.hpp"

namespace web {

namespace {

using json = nlohmann::json;

/* Input that cannot be read as the route's fields: answered 400. */
struct BadInput {
    std::string reason;
};

/* Who may call a route. */
enum class Need { anyone, desk, admin };

/* What a route's handler is given: the request, the response, the
 * session (none for `anyone`) and the context. */
struct Call {
    const httplib::Request& req;
    httplib::Response& res;
    std::optional<Session> session;
    Context& context;
};

using Handler = void (*)(Call&);

/* The JSON object of a request's body, holding no field outside
 * `allowed`; BadInput otherwise. */
json body_of(const httplib::Request& req, std::initializer_list<const char*> allowed)
{
    json body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object())
        throw BadInput{"the body is not a JSON object"};
    const std::set<std::string> known(allowed.begin(), allowed.end());
    for (const auto& field : body.items())
        if (!known.count(field.key()))
            throw BadInput{"unknown field \"" + field.key() + "\""};
    return body;
}

/* The field `name` as an identifier or count; BadInput when missing or
 * not a whole number at least 0. */
std::size_t number_field(const json& body, const char* name)
{
    auto found = body.find(name);
    if (found == body.end() || !found->is_number_unsigned())
        throw BadInput{std::string("\"") + name + "\" must be a whole number"};
    const auto value = found->get<std::uint64_t>();
    if (value > std::numeric_limits<std::size_t>::max())
        throw BadInput{std::string("\"") + name + "\" is too large"};
    return static_cast<std::size_t>(value);
}

/* The field `name` as text; `fallback` when missing and a fallback is
 * given; BadInput otherwise. */
std::string text_field(const json& body, const char* name,
                       std::optional<std::string> fallback = std::nullopt)
{
    auto found = body.find(name);
    if (found == body.end() && fallback)
        return *fallback;
    if (found == body.end() || !found->is_string())
        throw BadInput{std::string("\"") + name + "\" must be text"};
    return found->get<std::string>();
}

/* The identifier in the path's first capture; BadInput when not digits. */
std::size_t path_id(const httplib::Request& req)
{
    const std::string text = req.matches.size() > 1 ? req.matches[1].str() : "";
    if (text.empty() || text.size() > 18)
        throw BadInput{"the identifier is not a number"};
    return static_cast<std::size_t>(std::stoull(text));
}

/* The search text of ?search=, or none; BadInput when it holds no word. */
std::optional<std::string> search_of(const httplib::Request& req)
{
    if (!req.has_param("search"))
        return std::nullopt;
    std::string text = req.get_param_value("search");
    if (desk::search_words(text).empty())
        throw BadInput{"search holds no word to look for (letters or digits)"};
    return text;
}

void send(Call& call, int status, const json& body)
{
    call.res.status = status;
    call.res.set_content(body.dump(), "application/json");
}

/* Runs `change` as the session's staff member, commits, and answers
 * `status` with what `change` returned. */
void change_and_send(Call& call, int status, const std::function<json(desk::Library&)>& change)
{
    json out;
    call.context.desk.change(call.session->name, [&](desk::Library& lib) { out = change(lib); });
    send(call, status, out);
}

/* Answers the read-only `look` over the library in memory. */
void read_and_send(Call& call, const std::function<json(const desk::Library&)>& look)
{
    json out;
    call.context.desk.read([&](const desk::Library& lib) { out = look(lib); });
    send(call, 200, out);
}

void login(Call& call)
{
    const json body = body_of(call.req, {"name", "password"});
    const std::string name = text_field(body, "name"), password = text_field(body, "password");
    const std::string& address = call.req.remote_addr;
    if (long wait = call.context.throttle.wait_seconds(name, address); wait > 0) {
        answer_error(call.res, 429, "too many failed logins; try again later");
        call.res.set_header("Retry-After", std::to_string(wait));
        return;
    }
    std::optional<desk::StaffAccount> account = call.context.desk.check_login(name, password);
    if (!account) {
        call.context.throttle.failed(name, address);
        answer_error(call.res, 401, "wrong name or password");
        return;
    }
    call.context.throttle.succeeded(name, address);
    const std::string token = call.context.sessions.begin(*account);
    const std::optional<Session> session = call.context.sessions.touch(token);
    call.res.set_header("Set-Cookie", session_cookie(call.context, token));
    send(call, 200,
         {{"csrf", session ? session->csrf : ""},
          {"name", account->name},
          {"role", std::string(desk::role_name(account->role))}});
}

void logout(Call& call)
{
    call.context.sessions.end(session_token(call.req));
    call.res.set_header("Set-Cookie", session_cookie(call.context, ""));
    send(call, 200, json::object());
}

void list_books(Call& call)
{
    const std::optional<std::string> search = search_of(call.req);
    read_and_send(call, [&](const desk::Library& lib) {
        const std::vector<Book> books =
            search ? desk::search_books(lib, *search) : desk::list_books(lib, {});
        json out = json::array();
        for (Book book : books)
            out.push_back(desk::BookView::of(book).to_json());
        return out;
    });
}

void show_book(Call& call)
{
    const std::size_t id = path_id(call.req);
    read_and_send(call, [&](const desk::Library& lib) {
        const desk::BookView book = desk::BookView::of(desk::find_book(lib, id));
        return json{{"book", book.to_json()},
                    {"loans", desk::json_array(desk::loan_views(lib, lib.open_loans_of_book(id),
                                                                desk::today()))}};
    });
}

void list_users(Call& call)
{
    const std::optional<std::string> search = search_of(call.req);
    read_and_send(call, [&](const desk::Library& lib) {
        const std::vector<User> users =
            search ? desk::search_users(lib, *search) : desk::list_users(lib, "");
        json out = json::array();
        for (User user : users)
            out.push_back(desk::UserView::of(lib, user).to_json());
        return out;
    });
}

void show_user(Call& call)
{
    const std::size_t id = path_id(call.req);
    read_and_send(call, [&](const desk::Library& lib) {
        const desk::UserView user = desk::UserView::of(lib, desk::find_user(lib, id));
        return json{{"user", user.to_json()},
                    {"loans", desk::json_array(desk::loan_views(lib, lib.open_loans_of_user(id),
                                                                desk::today()))},
                    {"balance", desk::balance_of(lib, id)}};
    });
}

void checkout(Call& call)
{
    const json body = body_of(call.req, {"book", "user"});
    const std::size_t book = number_field(body, "book"), user = number_field(body, "user");
    change_and_send(call, 201, [&](desk::Library& lib) {
        const desk::Day day = desk::today();
        return desk::LoanView::of(lib, desk::checkout(lib, book, user, day, {}), day).to_json();
    });
}

/* The return's answer: the loan, the days late, whether the copy went
 * back on the shelf, the hold it was set aside for and the fine charged. */
json returned_json(const desk::Library& lib, const desk::Returned& back, desk::Day day)
{
    return {{"loan", desk::LoanView::of(lib, back.loan, day).to_json()},
            {"days_late", back.days_late},
            {"shelved", back.shelved},
            {"set_aside", back.set_aside
                              ? desk::JsonTree::of(desk::HoldView::of(lib, *back.set_aside))
                              : json(nullptr)},
            {"fine",
             back.fine ? desk::JsonTree::of(desk::FineView::of(lib, *back.fine)) : json(nullptr)}};
}

void give_back(Call& call)
{
    const json body = body_of(call.req, {"loan", "book", "user"});
    const bool by_loan = body.contains("loan");
    if (by_loan == (body.contains("book") || body.contains("user")))
        throw BadInput{"give either \"loan\" or both \"book\" and \"user\""};
    const std::size_t loan = by_loan ? number_field(body, "loan") : 0;
    const std::size_t book = by_loan ? 0 : number_field(body, "book");
    const std::size_t user = by_loan ? 0 : number_field(body, "user");
    change_and_send(call, 200, [&](desk::Library& lib) {
        const desk::Day day = desk::today();
        const desk::Returned back =
            by_loan ? desk::give_back(lib, loan, day) : desk::give_back(lib, book, user, day);
        return returned_json(lib, back, day);
    });
}

void renew(Call& call)
{
    const json body = body_of(call.req, {"loan"});
    const std::size_t loan = number_field(body, "loan");
    change_and_send(call, 200, [&](desk::Library& lib) {
        const desk::Day day = desk::today();
        desk::renew(lib, loan, day, {});
        return desk::LoanView::of(lib, desk::find_loan(lib, loan), day).to_json();
    });
}

void overdue(Call& call)
{
    read_and_send(call, [](const desk::Library& lib) {
        json out = json::array();
        for (const desk::OverdueLoan& late : desk::overdue(lib, desk::today()))
            out.push_back(desk::OverdueView::of(lib, late).to_json());
        return out;
    });
}

void list_holds(Call& call)
{
    read_and_send(call, [](const desk::Library& lib) {
        json out = json::array();
        for (const desk::Hold& hold : desk::list_holds(lib, {}))
            out.push_back(desk::JsonTree::of(desk::HoldView::of(lib, hold)));
        return out;
    });
}

void place_hold(Call& call)
{
    const json body = body_of(call.req, {"book", "user"});
    const std::size_t book = number_field(body, "book"), user = number_field(body, "user");
    change_and_send(call, 201, [&](desk::Library& lib) {
        const desk::Hold hold = desk::place_hold(lib, book, user, desk::today());
        return desk::JsonTree::of(desk::HoldView::of(lib, hold));
    });
}

void add_book(Call& call)
{
    const json body = body_of(call.req, {"title", "author", "genre", "copies"});
    desk::NewBook book{text_field(body, "title"), text_field(body, "author"),
                       text_field(body, "genre", ""),
                       body.contains("copies") ? number_field(body, "copies") : 1};
    change_and_send(call, 201, [&](desk::Library& lib) {
        const std::size_t id = desk::add_book(lib, book);
        return desk::BookView::of(desk::find_book(lib, id)).to_json();
    });
}

void add_user(Call& call)
{
    const json body = body_of(call.req, {"name", "address", "phone"});
    desk::NewUser user{text_field(body, "name"), text_field(body, "address"),
                       text_field(body, "phone")};
    change_and_send(call, 201, [&](desk::Library& lib) {
        const std::size_t id = desk::add_user(lib, user);
        return desk::UserView::of(lib, desk::find_user(lib, id)).to_json();
    });
}

/* True when the request brings the session's CSRF token. */
bool brings_csrf(const httplib::Request& req, const Session& session)
{
    const std::string given = req.get_header_value("X-CSRF-Token");
    return given.size() == session.csrf.size() &&
           sodium_memcmp(given.data(), session.csrf.data(), given.size()) == 0;
}

/* The checks before a route runs: the body's size, the origin of a
 * change, the session, the role and the CSRF token of a change. Answers
 * and returns false when one fails. */
bool admitted(Call& call, Need need, bool changes)
{
    if (call.req.body.size() > kBodyLimit) {
        answer_error(call.res, 413, "the request is too large");
        return false;
    }
    if (changes && !same_origin(call.context, call.req)) {
        answer_error(call.res, 403, "the request came from another site");
        return false;
    }
    if (need == Need::anyone)
        return true;
    call.session = session_of(call.context, call.req);
    if (!call.session) {
        answer_error(call.res, 401, "not logged in");
        return false;
    }
    if (need == Need::admin && call.session->role != desk::Role::admin) {
        answer_error(call.res, 403, "only an admin may do this");
        return false;
    }
    if (changes && !brings_csrf(call.req, *call.session)) {
        answer_error(call.res, 403, "the request lacks the session's CSRF token");
        return false;
    }
    return true;
}

/* Runs `handler` once admitted, turning what it throws into a status. */
void dispatch(Context& context, const httplib::Request& req, httplib::Response& res, Need need,
              bool changes, Handler handler)
{
    Call call{req, res, std::nullopt, context};
    try {
        if (admitted(call, need, changes))
            handler(call);
    } catch (const BadInput& bad) {
        answer_error(res, 400, "bad input", bad.reason);
    } catch (const desk::Failure& failure) {
        const int status = http_status(failure);
        answer_error(res, status, status == 409 ? "refused" : "failed", failure.what());
    } catch (const std::bad_alloc&) {
        answer_error(res, 500, "out of memory; nothing was changed");
    }
}

struct Route {
    const char* method;
    const char* pattern;
    Need need;
    Handler handler;
};

constexpr Route kRoutes[] = {
    {"POST", "/api/login", Need::anyone, login},
    {"POST", "/api/logout", Need::desk, logout},
    {"GET", "/api/books", Need::desk, list_books},
    {"GET", R"(/api/books/(\d+))", Need::desk, show_book},
    {"GET", "/api/users", Need::desk, list_users},
    {"GET", R"(/api/users/(\d+))", Need::desk, show_user},
    {"POST", "/api/checkout", Need::desk, checkout},
    {"POST", "/api/return", Need::desk, give_back},
    {"POST", "/api/renew", Need::desk, renew},
    {"GET", "/api/overdue", Need::desk, overdue},
    {"GET", "/api/holds", Need::desk, list_holds},
    {"POST", "/api/holds", Need::desk, place_hold},
    {"POST", "/api/books", Need::admin, add_book},
    {"POST", "/api/users", Need::admin, add_user},
};

} // namespace

void add_api_routes(httplib::Server& server, Context& context)
{
    add_route_table(server, kRoutes,
                    [&context](const Route& route, bool changes, const httplib::Request& req,
                               httplib::Response& res) {
                        dispatch(context, req, res, route.need, changes, route.handler);
                    });
}

} // namespace web
