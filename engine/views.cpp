/*
 * views.cpp - the views of records and their JSON shapes.
 */
#include "views.hpp"

namespace desk {

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
    if (Book book = lib.books().find(view.book))
        view.title = book_get_title(book);
    if (User user = lib.users().find(view.user))
        view.name = user_get_name(user);
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

NoticeView NoticeView::of(const Library& lib, const Notice& notice)
{
    const long late = notice.kind == NoticeKind::overdue ? notice.days : 0;
    NoticeView view{notice_kind_name(notice.kind), notice.days,
                    LoanView::of(lib, notice.loan, late), std::nullopt, std::nullopt};
    if (User user = lib.users().find(borrow_get_user_id(notice.loan))) {
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
