/*
 * fines.hpp - fines for late returns, and what users pay of them. A loan
 * returned late is fined the policy's amount a day for each open day past
 * its due date beyond the days of grace, at most the policy's cap; a user
 * owing the policy's blocking amount may not borrow. Money is whole minor
 * units (cents), never floating point.
 *
 * Fines live in `fines.csv`, every fine ever charged, one a line:
 *     id,user,loan,charged,amount,paid,waived,reason
 * Operations change the library in memory and record their lines in the
 * history; the caller commits. Refusals are thrown as desk::Failure.
 */
#ifndef LENDREC_ENGINE_FINES_HPP
#define LENDREC_ENGINE_FINES_HPP

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dates.hpp"
#include "desk_table.hpp"

namespace desk {

class Library;
struct Policy;

struct Fine {
    std::size_t id = 0, user = 0, loan = 0;
    Day charged{};
    std::size_t amount = 0, paid = 0; /* minor units */
    bool waived = false;
    std::string reason{}; /* why it was waived */

    /* What is still owed of it. */
    std::size_t owed() const { return waived || paid >= amount ? 0 : amount - paid; }
};

using Fines = DeskTable<Fine>;

inline constexpr std::string_view kFinesHeader = "id,user,loan,charged,amount,paid,waived,reason";

/* One line of fines.csv (desk_table.hpp). */
std::string read_row(const sheet::Sheet& sheet, std::size_t row, Fine& fine);
void write_row(TextSink& out, const Fine& fine);

/* The fine for a loan due on `due` and returned on `returned` under
 * `policy`: per_day for each open day late beyond the grace, at most the
 * cap; 0 when not late or the policy fines nothing. */
std::size_t fine_for(const Policy& policy, Day due, Day returned);

/* An amount as a clerk writes it, "2.50", "2.5" or "3", in minor units;
 * Failure kUsage naming `what` for anything else (negative, more than two
 * decimals, not a number). */
std::size_t parse_amount(std::string_view text, const char* what);

/* Charges the fine the policy sets for loan `loan_id` of user `user_id`,
 * due on `due` and returned on `day`; the fine, or none when nothing is
 * owed. */
std::optional<Fine> charge_late_return(Library& lib, std::size_t loan_id, std::size_t user_id,
                                       Day due, Day day);

/* What user `user_id` owes, in minor units. */
std::size_t balance_of(const Library& lib, std::size_t user_id);

/* Pays `amount` of user `user_id`'s fines on `day`, oldest first; the
 * balance left. Refused when there is no such user, the amount is 0 or
 * more than the user owes. */
std::size_t pay_fines(Library& lib, std::size_t user_id, std::size_t amount, Day day);

/* Waives what is owed of fine `id` on `day` for `reason`. Refused when
 * there is no such fine, nothing is owed of it, or the reason is blank. */
Fine waive_fine(Library& lib, std::size_t id, const std::string& reason, Day day);

/* The fines of user `user_id` (every user's when none), oldest first;
 * settled ones too when `all`. */
std::vector<Fine> list_fines(const Library& lib, std::optional<std::size_t> user_id, bool all);

} // namespace desk

#endif
