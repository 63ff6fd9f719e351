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

/* A real calendar date written DD/MM/YYYY (two, two and four digits,
 * year 1 to 2999); nothing for anything else, 31/02/2026 included. */
std::optional<Day> parse_date(std::string_view text);

/* A date from a record file: as parse_date where it is real; a day past
 * the month's end runs on into the next month, a zero day or month counts
 * as 1. Never fails: unreadable text gives 01/01/0001. */
Day file_date(const char* text);

/* The DD/MM/YYYY text of a day. */
std::string format_date(Day day);

/* A date given on the command line as `option`: parse_date, or Failure
 * kUsage with a message naming the option and the text. */
Day date_option(const std::string& text, const char* option);

/* Today: $LENDREC_TODAY (DD/MM/YYYY) when set, else the local date.
 * A bad $LENDREC_TODAY is Failure kUsage. */
Day today();

/* `text` when given (date_option), else today(). */
Day date_or_today(const std::string& text, const char* option);

/* Whole days from `from` to `to` (negative when `to` is earlier). */
long days_between(Day from, Day to);

} // namespace desk

#endif
