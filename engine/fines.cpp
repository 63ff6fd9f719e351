/*
 * fines.cpp - fines, payments and waivers.
 */
#include "fines.hpp"

#include <algorithm>
#include <limits>

#include <fmt/format.h>

#include "catalogue.hpp"
#include "failure.hpp"
#include "library.hpp"
#include "members.hpp"
#include "rules.hpp"

namespace desk {

namespace {

enum Column { kId, kUser, kLoan, kCharged, kAmount, kPaid, kWaived, kReason };
constexpr std::size_t kColumns = kReason + 1;

/* Far beyond any fine: amounts above it are refused as typing mistakes. */
constexpr std::size_t kMaxAmount = std::size_t{1000000000};

} // namespace

std::string read_row(const sheet::Sheet& sheet, std::size_t row, Fine& fine)
{
    if (sheet.width(row) != kColumns)
        return fmt::format("a fine line has {} fields, not {}", sheet.width(row), kColumns);
    auto cell = [&](Column column) { return sheet.cell(row, column); };
    auto id = cells::number(cell(kId)), user = cells::number(cell(kUser)),
         loan = cells::number(cell(kLoan)), amount = cells::number(cell(kAmount)),
         paid = cells::number(cell(kPaid));
    bool bad = false;
    auto charged = cells::date(cell(kCharged), bad);
    const bool flag = cell(kWaived) == "0" || cell(kWaived) == "1";
    if (!id || *id == 0 || !user || !loan || !charged || bad || !amount || !paid || !flag ||
        *amount > kMaxAmount || *paid > *amount)
        return "a fine line is an id, a user, a loan, the day charged, the amount and the part "
               "paid in cents (no more than the amount), 0 or 1 for waived, and a reason";
    fine.id = *id, fine.user = *user, fine.loan = *loan, fine.charged = *charged;
    fine.amount = *amount, fine.paid = *paid, fine.waived = cell(kWaived) == "1";
    fine.reason = cell(kReason);
    return "";
}

void write_row(TextSink& out, const Fine& fine)
{
    const std::string id = std::to_string(fine.id), user = std::to_string(fine.user),
                      loan = std::to_string(fine.loan), charged = format_date(fine.charged),
                      amount = std::to_string(fine.amount), paid = std::to_string(fine.paid);
    sheet::write_row(
        out, {id, user, loan, charged, amount, paid, fine.waived ? "1" : "0", fine.reason}, {});
}

std::size_t fine_for(const Policy& policy, Day due, Day returned)
{
    if (policy.fine.per_day == 0 || returned <= due)
        return 0;
    const std::size_t late = policy.open_days_between(due, returned);
    if (late <= policy.fine.grace_days)
        return 0;
    const std::size_t days = late - policy.fine.grace_days;
    const std::size_t most = policy.fine.cap != 0 ? policy.fine.cap : kMaxAmount;
    return days > most / policy.fine.per_day ? most : std::min(most, days * policy.fine.per_day);
}

std::size_t parse_amount(std::string_view text, const char* what)
{
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view cents = point == std::string_view::npos ? "" : text.substr(point + 1);
    auto digits = [](std::string_view part) {
        return part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    const bool shaped = !whole.empty() && whole.size() <= 9 && digits(whole) && digits(cents) &&
                        cents.size() <= 2 && (point == std::string_view::npos || !cents.empty());
    if (!shaped)
        throw Failure(kUsage, fmt::format("{}: '{}' is not an amount (like 2.50)", what, text));
    std::size_t amount = std::stoul(std::string(whole)) * 100;
    if (!cents.empty())
        amount += std::stoul(std::string(cents)) * (cents.size() == 1 ? 10 : 1);
    return amount;
}

std::optional<Fine> charge_late_return(Library& lib, std::size_t loan_id, std::size_t user_id,
                                       Day due, Day day)
{
    const std::size_t amount = fine_for(lib.policy(), due, day);
    if (amount == 0)
        return std::nullopt;
    Fine fine =
        lib.fines().add({.user = user_id, .loan = loan_id, .charged = day, .amount = amount});
    lib.record({.action = Action::fine_charged,
                .date = day,
                .user = user_id,
                .loan = loan_id,
                .fine = fine.id,
                .amount = static_cast<std::int64_t>(amount)});
    return fine;
}

std::size_t balance_of(const Library& lib, std::size_t user_id)
{
    std::size_t owed = 0;
    for (const Fine& fine : lib.fines().rows)
        if (fine.user == user_id)
            owed += fine.owed();
    return owed;
}

std::size_t pay_fines(Library& lib, std::size_t user_id, std::size_t amount, Day day)
{
    User user = find_user(lib, user_id);
    const std::size_t owed = balance_of(lib, user_id);
    if (amount == 0)
        throw Failure(kRefused, "a payment is more than 0.00");
    if (amount > owed)
        throw Failure(kRefused,
                      fmt::format("user {} ({}) owes {}, less than {}", user_id,
                                  user_get_name(user), format_amount(owed), format_amount(amount)));
    std::size_t left = amount;
    for (Fine& fine : lib.fines().rows) {
        if (fine.user != user_id || fine.owed() == 0 || left == 0)
            continue;
        const std::size_t part = std::min(left, fine.owed());
        fine.paid += part;
        left -= part;
        lib.record({.action = Action::fine_paid,
                    .date = day,
                    .user = user_id,
                    .loan = fine.loan,
                    .fine = fine.id,
                    .amount = static_cast<std::int64_t>(part)});
    }
    lib.fines().touched = true;
    return owed - amount;
}

Fine waive_fine(Library& lib, std::size_t id, const std::string& reason, Day day)
{
    const std::string why = record_text(reason, "a reason", rules::kMaxReason);
    Fine* fine = lib.fines().find(id);
    if (fine == nullptr)
        throw Failure(kRefused, fmt::format("no fine {}", id), Cause::no_such_record);
    if (fine->owed() == 0)
        throw Failure(kRefused, fmt::format("nothing is owed of fine {}", id));
    const std::size_t waived = fine->owed();
    fine->waived = true;
    fine->reason = why;
    lib.fines().touched = true;
    lib.record({.action = Action::fine_waived,
                .date = day,
                .user = fine->user,
                .loan = fine->loan,
                .fine = id,
                .amount = static_cast<std::int64_t>(waived),
                .note = why});
    return *fine;
}

std::vector<Fine> list_fines(const Library& lib, std::optional<std::size_t> user_id, bool all)
{
    std::vector<Fine> kept;
    for (const Fine& fine : lib.fines().rows)
        if ((all || fine.owed() > 0) && (!user_id || fine.user == *user_id))
            kept.push_back(fine);
    return kept;
}

} // namespace desk
