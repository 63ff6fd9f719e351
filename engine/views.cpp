/*
 * views.cpp - the views of records and their JSON shapes.
 */
#include "views.hpp"

namespace desk {

namespace {

/* The title of book `id`, the name of user `id`; none when missing. */
std::optional<std::string> title_of(const Library& lib, std::size_t id)
{
    Book book = lib.books().find(id);
    return book != nullptr ? std::optional<std::string>(book_get_title(book)) : std::nullopt;
}

std::optional<std::string> name_of(const Library& lib, std::size_t id)
{
    User user = lib.users().find(id);
    return user != nullptr ? std::optional<std::string>(user_get_name(user)) : std::nullopt;
}

} // namespace

BookView BookView::of(Book book)
{
    return {book_get_id(book),    book_get_title(book),    book_get_author(book),
            book_get_genre(book), book_get_quantity(book), book_get_available(book)};
}

nlohmann::json BookView::to_json() const
{
    return JsonTree::of(*this);
}

UserView UserView::of(const Library& lib, User user)
{
    std::size_t id = user_get_id(user);
    return {id, user_get_name(user), user_get_address(user), user_get_phone(user),
            lib.open_loans_of_user(id).size()};
}

nlohmann::json UserView::to_json() const
{
    return JsonTree::of(*this);
}

LoanView LoanView::of(const Library& lib, Borrow loan, Day day)
{
    return of(lib, loan, borrow_has_returned(loan) ? 0 : desk::days_overdue(loan, day));
}

LoanView LoanView::of(const Library& lib, Borrow loan, long late)
{
    LoanView view;
    view.id = borrow_get_id(loan);
    view.book = borrow_get_book_id(loan);
    view.user = borrow_get_user_id(loan);
    view.title = title_of(lib, view.book);
    view.name = name_of(lib, view.user);
    view.date = borrow_get_date(loan);
    view.due = borrow_get_return_date(loan);
    view.returned = borrow_has_returned(loan);
    view.days_overdue = view.returned ? 0 : late;
    return view;
}

nlohmann::json LoanView::to_json() const
{
    return JsonTree::of(*this);
}

OverdueView OverdueView::of(const Library& lib, const OverdueLoan& late)
{
    OverdueView view{LoanView::of(lib, late.loan, late.days), std::nullopt};
    if (User user = lib.users().find(borrow_get_user_id(late.loan)))
        view.phone = user_get_phone(user);
    return view;
}

nlohmann::json OverdueView::to_json() const
{
    return JsonTree::of(*this);
}

namespace {

std::optional<std::string> date_text(const std::optional<Day>& day)
{
    return day ? std::optional<std::string>(format_date(*day)) : std::nullopt;
}

std::optional<std::size_t> named(std::size_t id)
{
    return id == 0 ? std::nullopt : std::optional<std::size_t>(id);
}

} // namespace

LoanStoryView LoanStoryView::of(const Library& lib, const LoanStory& story)
{
    LoanStoryView view;
    view.loan = story.loan, view.book = story.book, view.user = story.user;
    view.title = title_of(lib, story.book);
    view.name = name_of(lib, story.user);
    view.date = date_text(story.lent), view.due = date_text(story.due);
    view.returned = story.returned, view.returned_on = date_text(story.returned_on);
    view.renewals = story.renewals, view.fined = static_cast<long>(story.fined);
    return view;
}

HoldView HoldView::of(const Library& lib, const Hold& hold)
{
    HoldView view;
    view.id = hold.id, view.book = hold.book, view.user = hold.user;
    view.title = title_of(lib, hold.book);
    view.name = name_of(lib, hold.user);
    view.placed = format_date(hold.placed), view.state = state_name(hold.state);
    if (const std::size_t place = place_in_line(lib, hold); place != 0)
        view.place = place;
    view.set_aside = date_text(hold.set_aside), view.pickup_by = date_text(hold.pickup_by);
    view.ended = date_text(hold.ended);
    return view;
}

FineView FineView::of(const Library& lib, const Fine& fine)
{
    FineView view;
    view.id = fine.id, view.user = fine.user, view.loan = fine.loan;
    view.name = name_of(lib, fine.user);
    view.charged = format_date(fine.charged);
    view.state = fine.waived ? "waived" : fine.owed() == 0 ? "paid" : "owed";
    view.amount = fine.amount, view.paid = fine.paid, view.owed = fine.owed();
    view.reason = fine.reason;
    return view;
}

EntryView EntryView::of(const Entry& entry)
{
    EntryView view;
    view.at = entry.at, view.clerk = entry.clerk;
    view.action = action_name(entry.action), view.date = format_date(entry.date);
    view.book = named(entry.book), view.user = named(entry.user), view.loan = named(entry.loan);
    view.hold = named(entry.hold), view.fine = named(entry.fine);
    view.due = date_text(entry.due);
    if (entry.amount)
        view.amount = static_cast<long>(*entry.amount);
    view.note = entry.note;
    return view;
}

ReportRowView ReportRowView::of(const Library& lib, CountBy by, const LoanCount& count)
{
    ReportRowView view{count.key, std::nullopt, count.loans};
    if (by == CountBy::book)
        view.label = title_of(lib, count.id);
    else if (by == CountBy::user)
        view.label = name_of(lib, count.id);
    return view;
}

TopBookView TopBookView::of(const Library& lib, const LoanCount& count)
{
    TopBookView view{count.id, title_of(lib, count.id), std::nullopt, count.loans};
    if (Book book = lib.books().find(count.id))
        view.author = book_get_author(book);
    return view;
}

NoticeView NoticeView::of(const Library& lib, const Notice& notice)
{
    NoticeView view;
    view.kind = notice_kind_name(notice.kind), view.days = notice.days;
    view.due = format_date(notice.due);
    if (notice.hold) {
        view.hold = HoldView::of(lib, *notice.hold);
        view.book = view.hold->book, view.user = view.hold->user;
        view.title = view.hold->title, view.name = view.hold->name;
    } else {
        const long late = notice.kind == NoticeKind::overdue ? notice.days : 0;
        view.loan = LoanView::of(lib, notice.loan, late);
        view.book = view.loan->book, view.user = view.loan->user;
        view.title = view.loan->title, view.name = view.loan->name;
    }
    if (User user = lib.users().find(view.user)) {
        view.phone = user_get_phone(user);
        view.address = user_get_address(user);
    }
    return view;
}

nlohmann::json NoticeView::to_json() const
{
    return JsonTree::of(*this);
}

std::vector<LoanView> loan_views(const Library& lib, std::span<const Borrow> loans, Day day)
{
    std::vector<LoanView> views;
    views.reserve(loans.size());
    for (Borrow loan : loans)
        views.push_back(LoanView::of(lib, loan, day));
    return views;
}

} // namespace desk
