/*
 * notices.cpp - the loans to tell their users about.
 */
#include "notices.hpp"

#include <algorithm>
#include <optional>
#include <string_view>

#include <fmt/format.h>

#include "circulation.hpp"
#include "failure.hpp"
#include "spreadsheet.hpp"
#include "views.hpp"

namespace desk {

namespace {

/* The notice `loan` (open) calls for on `day`, if any. */
std::optional<Notice> notice_of(Borrow loan, Day day, std::size_t within)
{
    const Day due = due_of(loan);
    if (const long late = days_overdue(loan, day); late > 0)
        return Notice{NoticeKind::overdue, loan, due, late};
    if (const long until = days_between(day, due); until <= static_cast<long>(within))
        return Notice{NoticeKind::due, loan, due, until};
    return std::nullopt;
}

bool before(const Notice& a, const Notice& b)
{
    if (a.kind != b.kind)
        return a.kind < b.kind;
    if (a.due != b.due)
        return a.due < b.due;
    return borrow_get_id(a.loan) < borrow_get_id(b.loan);
}

} // namespace

const char* notice_kind_name(NoticeKind kind)
{
    switch (kind) {
    case NoticeKind::overdue:
        return "overdue";
    case NoticeKind::due:
        return "due";
    }
    return "notice";
}

std::vector<Notice> notices(const Library& lib, Day day, std::size_t within)
{
    if (within > kMaxDueWithin)
        throw Failure(kRefused, fmt::format("notices look at most {} days ahead, not {}",
                                            kMaxDueWithin, within));
    std::vector<Notice> list;
    for (Borrow loan : lib.open_loans())
        if (std::optional<Notice> notice = notice_of(loan, day, within))
            list.push_back(*notice);
    std::stable_sort(list.begin(), list.end(), before);
    return list;
}

void notices_csv(const Library& lib, const std::vector<Notice>& list, TextSink& out)
{
    const sheet::WriteOptions plain;
    sheet::write_row(
        out, {"kind", "loan", "book", "title", "due", "days", "user", "name", "phone", "address"},
        plain);
    for (const Notice& notice : list) {
        const NoticeView row = NoticeView::of(lib, notice);
        const LoanView& loan = row.loan;
        sheet::write_row(out,
                         {row.kind, Decimal(loan.id).view(), Decimal(loan.book).view(),
                          loan.title.value_or(""), loan.due, Decimal(row.days).view(),
                          Decimal(loan.user).view(), loan.name.value_or(""), row.phone.value_or(""),
                          row.address.value_or("")},
                         plain);
        out.flush_if_full();
    }
    out.flush();
}

} // namespace desk
