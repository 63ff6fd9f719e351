/*
 * pages.hpp - the web desk's pages: whole HTML documents made from the
 * engine's views through the escaping templates (render.hpp). Each is a
 * pure function of the library as it stands; none changes it.
 *
 * Every form that posts carries the frame's `csrf` token as a hidden input
 * named `csrf`; the links and forms use the desk's URLs (/desk, /search,
 * /books/ID, /users/ID, /holds, /fines/pay, /notices, /reports, /admin...).
 * A page about a record that does not exist throws the engine's Failure
 * kRefused ("no book 7"), which the routes answer with 404; a history that
 * cannot be read throws what Library::read_history throws.
 */
#ifndef LENDREC_WEB_PAGES_HPP
#define LENDREC_WEB_PAGES_HPP

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dates.hpp"
#include "import.hpp"
#include "library.hpp"
#include "report.hpp"
#include "staff.hpp"

namespace desk::web {

/* Who is looking, and the token every form must carry back. */
struct Frame {
    std::string staff;
    bool admin = false;
    std::string csrf{};
    std::vector<std::string> notes{};  /* told at the top: "loan 12 renewed: due 03/02/2026" */
    std::vector<std::string> errors{}; /* refusals with their reason, in an alert region */
};

/* The login form (POST /login: name, password), with `error` above it
 * when not empty; the hidden csrf input only when `csrf` is given. */
std::string login_page(const std::string& error, const std::string& csrf = {});

/* The desk: the scan box (a member's number or name first, then the books
 * lent to them), the return box and, with `user`, that member's loans out
 * on `today`, overdue ones marked. Without a member, `member_search` (the
 * text the last scan searched for) lists the members it matches to pick
 * from. Failure kRefused when `user` names no member. */
std::string desk_page(const Frame& frame, const Library& lib, std::optional<std::size_t> user,
                      Day today, std::string_view member_search = {});

/* The books and members every word of `text` matches (search.hpp), best
 * first; the search form alone when `text` is empty. */
std::string search_page(const Frame& frame, const Library& lib, std::string_view text);

/* Book `id`: its copies, the loans out on `today`, the holds queue, its
 * loan history, the place-hold form and, for admins, edit and remove
 * forms. Failure kRefused when there is no such book. */
std::string book_page(const Frame& frame, const Library& lib, std::size_t id, Day today);

/* Member `id`: loans out on `today`, holds, fines and balance (pay form;
 * waive forms for admins), loan history and, for admins, edit and remove
 * forms. Failure kRefused when there is no such member. */
std::string user_page(const Frame& frame, const Library& lib, std::size_t id, Day today);

/* Loans overdue on `today`, due within `within_days`, and holds waiting to
 * be picked up, with how to reach each member and the CSV link. Failure
 * kRefused when `within_days` is above kMaxDueWithin. */
std::string notices_page(const Frame& frame, const Library& lib, Day today,
                         std::size_t within_days);

/* The loans of `period` counted `by` and the books lent most in it, with
 * the filter form. */
std::string reports_page(const Frame& frame, const Library& lib, const Period& period, CountBy by);

/* The library's file problems, check and repair, the add forms, import and
 * export, the policy in force and the `staff` accounts. Failure kRefused
 * unless `frame.admin`. */
std::string admin_page(const Frame& frame, const Library& lib,
                       const std::vector<StaffAccount>& staff);

/* What an import dry run of `sheet_name` as `kind` reported (import.hpp),
 * with the upload form to import it for good. Failure kRefused unless
 * `frame.admin`. */
std::string import_preview_page(const Frame& frame, ImportKind kind, const std::string& sheet_name,
                                const ImportReport& report);

/* An HTTP `status` (404, 403...) with `message` for the clerk. */
std::string error_page(const Frame& frame, int status, const std::string& message);

} // namespace desk::web

#endif
