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
        return Notice{NoticeKind::overdue, loan, std::nullopt, due, late};
    if (const long until = days_between(day, due); until <= static_cast<long>(within))
        return Notice{NoticeKind::due, loan, std::nullopt, due, until};
    return std::nullopt;
}

std::size_t id_of(const Notice& notice)
{
    return notice.hold ? notice.hold->id : borrow_get_id(notice.loan);
}

bool before(const Notice& a, const Notice& b)
{
    if (a.kind != b.kind)
        return a.kind < b.kind;
    if (a.due != b.due)
        return a.due < b.due;
    return id_of(a) < id_of(b);
}

} // namespace

const char* notice_kind_name(NoticeKind kind)
{
    switch (kind) {
    case NoticeKind::overdue:
        return "overdue";
    case NoticeKind::due:
        return "due";
    case NoticeKind::pickup:
        return "pickup";
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
    for (const Hold& hold : lib.holds().rows)
        if (hold.state == HoldState::waiting && hold.pickup_by && *hold.pickup_by >= day)
            list.push_back({NoticeKind::pickup, nullptr, hold, *hold.pickup_by,
                            days_between(day, *hold.pickup_by)});
    std::stable_sort(list.begin(), list.end(), before);
    return list;
}

void notices_csv(const Library& lib, const std::vector<Notice>& list, TextSink& out)
{
    const sheet::WriteOptions plain;
    sheet::write_row(out,
                     {"kind", "loan", "hold", "book", "title", "due", "days", "user", "name",
                      "phone", "address"},
                     plain);
    for (const Notice& notice : list) {
        const NoticeView row = NoticeView::of(lib, notice);
        const std::string loan = row.loan ? std::to_string(row.loan->id) : "",
                          hold = row.hold ? std::to_string(row.hold->id) : "";
        sheet::write_row(out,
                         {row.kind, loan, hold, Decimal(row.book).view(), row.title.value_or(""),
                          row.due, Decimal(row.days).view(), Decimal(row.user).view(),
                          row.name.value_or(""), row.phone.value_or(""), row.address.value_or("")},
                         plain);
        out.flush_if_full();
    }
    out.flush();
}

} // namespace desk
