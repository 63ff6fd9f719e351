/*
 * dates.hpp - DD/MM/YYYY dates on the real calendar.
 *
 * The record files accept any day up to 31 in any month; the desk takes
 * only real calendar dates from the command line and computes due dates
 * and days late with <chrono>, never by hand.
 */
#ifndef LENDREC_TOOL_DATES_HPP
#define LENDREC_TOOL_DATES_HPP

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace desk {

using Day = std::chrono::sys_days;

/* A real calendar date written DD/MM/YYYY (two, two and four digits, any
 * year 0000 to 9999); nothing for anything else, 31/02/2026 included.
 * Whether the desk takes it is in_desk_years. */
std::optional<Day> parse_date(std::string_view text);

/* True when `day` lies in the years the desk takes, rules::kFirstYear to
 * rules::kLastYear. */
bool in_desk_years(Day day);

/* The day file_date gives for text it cannot read: 01/01/0001, before any
 * date the desk takes. */
inline constexpr Day kUnreadableFileDate{std::chrono::year{1} / 1 / 1};

/* A date from a record file, read by the core's date splitting: as
 * parse_date where it is real; a day past the month's end runs on into
 * the next month, a zero day or month counts as 1. Never fails: null or
 * unreadable text (no year, a month past 12, a day past 31) gives
 * kUnreadableFileDate. */
Day file_date(const char* text);

/* The DD/MM/YYYY text of a day. */
std::string format_date(Day day);

/* A date given on the command line as `option`: parse_date, else Failure
 * kUsage ("--date: 'x' is not a date (DD/MM/YYYY)", the empty text
 * included); a real date outside in_desk_years is Failure kRefused naming
 * the years. */
Day date_option(const std::string& text, const char* option);

/* Today: $LENDREC_TODAY (DD/MM/YYYY) when set, else the local date.
 * A bad $LENDREC_TODAY is refused as date_option refuses. */
Day today();

/* The time now, in UTC, as the history writes it: "2026-01-15T09:30:00Z";
 * $LENDREC_NOW when it is set to a time of that shape (for tests and for
 * entering a backlog at a set time). */
std::string now_utc();

/* `text` when given (date_option), else today(). The empty text means
 * "not given": an option given as "" is refused before (main checks every
 * DATE option of the command line). */
Day date_or_today(const std::string& text, const char* option);

/* Whole days from `from` to `to` (negative when `to` is earlier). */
long days_between(Day from, Day to);

} // namespace desk

#endif
