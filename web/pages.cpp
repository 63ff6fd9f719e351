/*
 * pages.cpp - the web desk's pages: the values each template shows, taken
 * from the engine's views, and the template that shows them.
 */
#include "pages.hpp"

#include <algorithm>
#include <utility>

#include "catalogue.hpp"
#include "circulation.hpp"
#include "failure.hpp"
#include "fines.hpp"
#include "holds.hpp"
#include "loan_history.hpp"
#include "members.hpp"
#include "notices.hpp"
#include "policy.hpp"
#include "render.hpp"
#include "search.hpp"
#include "text.hpp"
#include "views.hpp"

namespace desk::web {
namespace {

/* The navigation bar's links (each a page under /); Admin only for admins. */
mstch::array navigation(const Frame& frame, std::string_view current)
{
    struct Link {
        const char *href, *label;
        bool admin_only;
    };
    static constexpr Link links[] = {{"desk", "Desk", false},
                                     {"search", "Search", false},
                                     {"notices", "Notices", false},
                                     {"reports", "Reports", false},
                                     {"admin", "Admin", true}};
    mstch::array out;
    for (const Link& link : links)
        if (!link.admin_only || frame.admin)
            out.emplace_back(mstch::map{{"href", std::string(link.href)},
                                        {"label", std::string(link.label)},
                                        {"current", current == std::string_view(link.href)}});
    return out;
}

/* The values every page shares: its title, who is looking, the token, the
 * bar and the messages of the last action. */
mstch::map page_root(const Frame& frame, std::string title, std::string_view current)
{
    return mstch::map{{"page_title", std::move(title)},
                      {"signed_in", !frame.staff.empty()},
                      {"staff", frame.staff},
                      {"admin", frame.admin},
                      {"csrf", frame.csrf},
                      {"nav", navigation(frame, current)},
                      {"notes", texts(frame.notes)},
                      {"has_notes", !frame.notes.empty()},
                      {"errors", texts(frame.errors)},
                      {"has_errors", !frame.errors.empty()}};
}

/* Money as the desk writes it, in the policy's currency: "2.50 EUR". */
std::string money(const Library& lib, std::size_t minor_units)
{
    return format_amount(minor_units) + " " + lib.policy().fine.currency;
}

/* The loans partial's values: `loans` on `today`, overdue ones marked. */
void add_loans(mstch::map& root, const Library& lib, std::span<const Borrow> loans, Day today)
{
    mstch::array rows;
    for (const LoanView& view : loan_views(lib, loans, today)) {
        mstch::map row = values_of(view);
        row["overdue"] = view.days_overdue > 0;
        row["late_text"] =
            text::counted(static_cast<std::size_t>(std::max(view.days_overdue, 0L)), "day", "days");
        rows.emplace_back(std::move(row));
    }
    root["has_loans"] = !rows.empty();
    root["loans"] = std::move(rows);
}

/* The holds partial's values. */
void add_holds(mstch::map& root, const Library& lib, const std::vector<Hold>& holds)
{
    mstch::array rows;
    for (const Hold& hold : holds)
        rows.emplace_back(values_of(HoldView::of(lib, hold)));
    root["has_holds"] = !rows.empty();
    root["holds"] = std::move(rows);
}

/* The stories partial's values: the loan history of a book or member. */
void add_stories(mstch::map& root, const Library& lib, const FromHistory<LoanStory>& found)
{
    mstch::array rows;
    for (const LoanStory& story : found.items) {
        mstch::map row = values_of(LoanStoryView::of(lib, story));
        row["fined_text"] =
            story.fined > 0 ? money(lib, static_cast<std::size_t>(story.fined)) : std::string();
        rows.emplace_back(std::move(row));
    }
    root["stories"] = std::move(rows);
    if (!found.problems.empty())
        root["history_problems"] = std::to_string(found.problems.size());
}

/* A fine's values with its money written out. */
mstch::map fine_values(const Library& lib, const Fine& fine)
{
    const FineView view = FineView::of(lib, fine);
    mstch::map row = values_of(view);
    row["amount_text"] = money(lib, view.amount);
    row["paid_text"] = money(lib, view.paid);
    row["owed_text"] = money(lib, view.owed);
    row["waived"] = fine.waived;
    row["owing"] = view.owed > 0;
    return row;
}

/* The members matching the desk's last scan, to pick one from. */
void add_candidates(mstch::map& root, const Library& lib, std::string_view text)
{
    mstch::array users;
    for (User user : search_users(lib, text))
        users.emplace_back(values_of(UserView::of(lib, user)));
    root["picking"] = true;
    root["pick"] = std::string(text);
    if (!users.empty())
        root["candidates"] = mstch::map{{"users", std::move(users)}};
}

/* One choice of a select: its value, label and whether it is chosen. */
mstch::map choice(const char* value, const char* label, bool selected)
{
    return mstch::map{
        {"value", std::string(value)}, {"label", std::string(label)}, {"selected", selected}};
}

/* The import form's choice of records. */
mstch::array import_kinds(ImportKind chosen)
{
    return mstch::array{choice("books", "Books", chosen == ImportKind::books),
                        choice("users", "Members", chosen == ImportKind::users)};
}

/* Refuses a page of admin forms to desk staff. */
void admins_only(const Frame& frame, const char* page)
{
    if (!frame.admin)
        throw Failure(kRefused, std::string(page) + " is for admins");
}

/* One section of the notices: those of `kind` in `list`, with `labels`. */
mstch::map notice_group(const Library& lib, const std::vector<Notice>& list, NoticeKind kind,
                        mstch::map labels)
{
    mstch::array rows;
    for (const Notice& notice : list) {
        if (notice.kind != kind)
            continue;
        const NoticeView view = NoticeView::of(lib, notice);
        rows.emplace_back(mstch::map{{"book", std::to_string(view.book)},
                                     {"user", std::to_string(view.user)},
                                     {"title", view.title.value_or("")},
                                     {"name", view.name.value_or("")},
                                     {"phone", view.phone.value_or("")},
                                     {"address", view.address.value_or("")},
                                     {"due", view.due},
                                     {"days", std::to_string(view.days)},
                                     {"late", kind == NoticeKind::overdue}});
    }
    labels["kind"] = std::string(notice_kind_name(kind));
    labels["count"] = std::to_string(rows.size());
    labels["has_rows"] = !rows.empty();
    labels["rows"] = std::move(rows);
    return labels;
}

/* "month", "genre", "book" or "user", and the heading of its column. */
const char* count_by_name(CountBy by)
{
    switch (by) {
    case CountBy::month:
        return "month";
    case CountBy::genre:
        return "genre";
    case CountBy::book:
        return "book";
    case CountBy::user:
        return "user";
    }
    return "month";
}
const char* count_by_heading(CountBy by)
{
    switch (by) {
    case CountBy::month:
        return "Month";
    case CountBy::genre:
        return "Genre";
    case CountBy::book:
        return "Book";
    case CountBy::user:
        return "Member";
    }
    return "Month";
}

/* "1 day", "3 days", "none" for 0 where 0 turns a rule off. */
std::string days_or_none(std::size_t days)
{
    return days == 0 ? std::string("none") : text::counted(days, "day", "days");
}

/* The policy's terms as the admin page lists them. */
void add_policy(mstch::map& root, const Policy& policy)
{
    /* 0 turns these rules off: said in words. */
    const auto money_or = [&](std::size_t minor, const char* when_zero) {
        return minor == 0 ? std::string(when_zero)
                          : format_amount(minor) + " " + policy.fine.currency;
    };
    std::string closed;
    for (const std::chrono::weekday day : policy.calendar.closed_weekdays)
        closed += (closed.empty() ? "" : ", ") + std::string(weekday_name(day));
    for (const Day day : policy.calendar.closed_dates)
        closed += (closed.empty() ? "" : ", ") + format_date(day);
    const std::pair<const char*, std::string> terms[] = {
        {"Loan period", days_or_none(policy.loan.days)},
        {"Loans a member may hold", std::to_string(policy.loan.limit)},
        {"Renewals of a loan", std::to_string(policy.loan.renewals)},
        {"An overdue loan stops borrowing", policy.loan.block_when_overdue ? "yes" : "no"},
        {"Fine a day late", money_or(policy.fine.per_day, "no fines")},
        {"Days of grace", std::to_string(policy.fine.grace_days)},
        {"Most one loan is fined", money_or(policy.fine.cap, "no limit")},
        {"Balance that stops borrowing", money_or(policy.fine.block_at, "never")},
        {"Days to pick up a hold", days_or_none(policy.hold.pickup_days)},
        {"Holds a member may place", std::to_string(policy.hold.limit)},
        {"Closed", closed.empty() ? std::string("never") : closed}};
    mstch::array rows;
    for (const auto& [term, value] : terms)
        rows.emplace_back(mstch::map{{"term", std::string(term)}, {"value", value}});
    root["policy"] = std::move(rows);
    mstch::array genres;
    for (const auto& [genre, genre_terms] : policy.loan.genre)
        genres.emplace_back(
            mstch::map{{"genre", genre},
                       {"days", std::to_string(genre_terms.days.value_or(policy.loan.days))},
                       {"limit", std::to_string(genre_terms.limit.value_or(policy.loan.limit))}});
    root["has_genres"] = !genres.empty();
    root["genres"] = std::move(genres);
}

/* The report's lines, without the empty one after the last newline. */
std::vector<std::string> report_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

/* The reason phrase of an HTTP status the desk answers with. */
const char* status_reason(int status)
{
    switch (status) {
    case 400:
        return "Bad request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not found";
    case 405:
        return "Method not allowed";
    case 409:
        return "Conflict";
    case 413:
        return "Too large";
    case 503:
        return "Busy";
    default:
        return status >= 500 ? "Server error" : "Refused";
    }
}

} // namespace

std::string login_page(const std::string& error, const std::string& csrf)
{
    Frame frame{.staff = {}, .admin = false, .csrf = csrf};
    if (!error.empty())
        frame.errors.push_back(error);
    mstch::map root = page_root(frame, "Log in", "");
    root["has_csrf"] = !csrf.empty();
    return render("login", root);
}

std::string desk_page(const Frame& frame, const Library& lib, std::optional<std::size_t> user,
                      Day today, std::string_view member_search)
{
    mstch::map root = page_root(frame, "Desk", "desk");
    if (user) {
        const UserView view = UserView::of(lib, find_user(lib, *user));
        const std::size_t owed = balance_of(lib, *user);
        mstch::map member = values_of(view);
        member["loans_text"] = text::counted(view.open_loans, "loan out", "loans out");
        member["owes"] = owed > 0;
        member["balance"] = money(lib, owed);
        root["member"] = std::move(member);
        add_loans(root, lib, lib.open_loans_of_user(*user), today);
    } else if (!member_search.empty()) {
        add_candidates(root, lib, member_search);
    }
    return render("desk", root);
}

std::string search_page(const Frame& frame, const Library& lib, std::string_view text)
{
    mstch::map root = page_root(frame, "Search", "search");
    root["q"] = std::string(text);
    if (text.empty())
        return render("search", root);
    if (search_words(text).empty()) {
        root["no_words"] = true;
        return render("search", root);
    }
    mstch::array books, users;
    for (Book book : search_books(lib, text))
        books.emplace_back(values_of(BookView::of(book)));
    for (User user : search_users(lib, text))
        users.emplace_back(values_of(UserView::of(lib, user)));
    root["searched"] = true;
    root["book_count"] = std::to_string(books.size());
    root["user_count"] = std::to_string(users.size());
    root["has_books"] = !books.empty();
    root["has_users"] = !users.empty();
    root["books"] = std::move(books);
    root["users"] = std::move(users);
    return render("search", root);
}

std::string book_page(const Frame& frame, const Library& lib, std::size_t id, Day today)
{
    const BookView view = BookView::of(find_book(lib, id));
    mstch::map root = page_root(frame, view.title, "");
    root["book"] = values_of(view);
    root["book_id"] = std::to_string(id);
    add_loans(root, lib, lib.open_loans_of_book(id), today);
    add_holds(root, lib, list_holds(lib, HoldFilter{.book = id, .user = {}, .all = false}));
    add_stories(root, lib, loan_stories(lib, Whose::book, id));
    return render("book", root);
}

std::string user_page(const Frame& frame, const Library& lib, std::size_t id, Day today)
{
    const UserView view = UserView::of(lib, find_user(lib, id));
    const std::size_t owed = balance_of(lib, id);
    mstch::map root = page_root(frame, view.name, "");
    mstch::map user = values_of(view);
    user["balance"] = money(lib, owed);
    root["user"] = std::move(user);
    root["user_id"] = std::to_string(id);
    root["balance"] = money(lib, owed);
    root["owes"] = owed > 0;
    root["currency"] = lib.policy().fine.currency;
    add_loans(root, lib, lib.open_loans_of_user(id), today);
    add_holds(root, lib, list_holds(lib, HoldFilter{.book = {}, .user = id, .all = false}));
    mstch::array fines;
    for (const Fine& fine : list_fines(lib, id, true))
        fines.emplace_back(fine_values(lib, fine));
    root["has_fines"] = !fines.empty();
    root["fines"] = std::move(fines);
    add_stories(root, lib, loan_stories(lib, Whose::user, id));
    return render("user", root);
}

std::string notices_page(const Frame& frame, const Library& lib, Day today, std::size_t within_days)
{
    struct Group {
        NoticeKind kind;
        const char *heading, *day_heading, *days_heading;
    };
    static constexpr Group groups[] = {
        {NoticeKind::overdue, "Overdue", "Due", "Days late"},
        {NoticeKind::due, "Falling due", "Due", "Days left"},
        {NoticeKind::pickup, "Waiting to be picked up", "Pick up by", "Days left"}};
    const std::vector<Notice> list = notices(lib, today, within_days);
    mstch::array sections;
    for (const Group& group : groups)
        sections.emplace_back(notice_group(lib, list, group.kind,
                                           {{"heading", std::string(group.heading)},
                                            {"day_heading", std::string(group.day_heading)},
                                            {"days_heading", std::string(group.days_heading)}}));
    mstch::map root = page_root(frame, "Notices", "notices");
    root["within"] = std::to_string(within_days);
    root["groups"] = std::move(sections);
    return render("notices", root);
}

std::string reports_page(const Frame& frame, const Library& lib, const Period& period, CountBy by)
{
    static constexpr std::size_t kTopBooks = 10;
    const FromHistory<LoanCount> counts = count_loans(lib, by, period);
    const FromHistory<LoanCount> top = top_books(lib, period, kTopBooks);
    mstch::array rows, best;
    for (const LoanCount& count : counts.items)
        rows.emplace_back(values_of(ReportRowView::of(lib, by, count)));
    for (const LoanCount& count : top.items)
        best.emplace_back(values_of(TopBookView::of(lib, count)));
    mstch::map root = page_root(frame, "Reports", "reports");
    root["from"] = period.from ? format_date(*period.from) : std::string();
    root["to"] = period.to ? format_date(*period.to) : std::string();
    root["by"] = std::string(count_by_name(by));
    root["key_heading"] = std::string(count_by_heading(by));
    root["choices"] = mstch::array{choice("month", "Month", by == CountBy::month),
                                   choice("genre", "Genre", by == CountBy::genre)};
    root["has_rows"] = !rows.empty();
    root["rows"] = std::move(rows);
    root["has_top"] = !best.empty();
    root["top"] = std::move(best);
    if (!counts.problems.empty())
        root["history_problems"] = std::to_string(counts.problems.size());
    return render("reports", root);
}

std::string admin_page(const Frame& frame, const Library& lib,
                       const std::vector<StaffAccount>& staff)
{
    admins_only(frame, "the admin page");
    std::vector<std::string> problems;
    for (const FileProblem& found : lib.file_problems())
        problems.push_back(describe(found.file, found.problem));
    std::vector<std::string> policy_problems;
    for (const PolicyProblem& found : lib.policy_problems())
        policy_problems.push_back("line " + std::to_string(found.line) + ": " + found.cause);
    mstch::array accounts;
    for (const StaffAccount& account : staff)
        accounts.emplace_back(mstch::map{
            {"staff_name", account.name},
            {"role", std::string(account.role == Role::admin ? "Admin" : "Desk staff")}});
    mstch::map root = page_root(frame, "Admin", "admin");
    root["has_problems"] = !problems.empty();
    root["problems"] = texts(problems);
    root["has_policy_problems"] = !policy_problems.empty();
    root["policy_problems"] = texts(policy_problems);
    add_policy(root, lib.policy());
    root["staff_list"] = std::move(accounts);
    root["blank_book"] = mstch::map{{"title", std::string()},
                                    {"author", std::string()},
                                    {"genre", std::string()},
                                    {"copies", std::string("1")}};
    root["blank_user"] =
        mstch::map{{"name", std::string()}, {"address", std::string()}, {"phone", std::string()}};
    root["kinds"] = import_kinds(ImportKind::books);
    return render("admin", root);
}

std::string import_preview_page(const Frame& frame, ImportKind kind, const std::string& sheet_name,
                                const ImportReport& report)
{
    admins_only(frame, "importing");
    const std::pair<const char*, std::size_t> counts[] = {{"added", report.added},
                                                          {"merged", report.merged},
                                                          {"updated", report.updated},
                                                          {"unchanged", report.unchanged},
                                                          {"phones reshaped", report.changed},
                                                          {"refused", report.refused}};
    mstch::array count_rows;
    for (const auto& [what, count] : counts)
        count_rows.emplace_back(
            mstch::map{{"what", std::string(what)}, {"count", std::to_string(count)}});
    const std::vector<std::string> lines = report_lines(report.text);
    mstch::map root = page_root(frame, "Import preview", "admin");
    root["kind"] = std::string(kind == ImportKind::books ? "books" : "members");
    root["sheet_name"] = sheet_name;
    root["counts"] = std::move(count_rows);
    if (report.fatal)
        root["blocked"] = std::string("This file cannot be imported: see the rows below.");
    else if (report.refused > 0)
        root["blocked"] = text::counted(report.refused, "row is", "rows are") + " refused.";
    root["has_lines"] = !lines.empty();
    root["lines"] = texts(lines);
    root["kinds"] = import_kinds(kind);
    return render("import_preview", root);
}

std::string error_page(const Frame& frame, int status, const std::string& message)
{
    mstch::map root = page_root(frame, status_reason(status), "");
    root["status"] = std::to_string(status);
    root["reason"] = std::string(status_reason(status));
    root["message"] = message;
    return render("error", root);
}

} // namespace desk::web
