/*
 * rules.hpp - the desk's limits and the few record rules it states to the
 * clerk, each written once: copies, loan periods, the years the desk
 * takes, the lengths of texts, and this build's phone rule.
 */
#ifndef LENDREC_ENGINE_RULES_HPP
#define LENDREC_ENGINE_RULES_HPP

#include <cstddef>
#include <string_view>

namespace desk::rules {

/* The most copies one title may hold. */
inline constexpr std::size_t kMaxCopies = 1000000;

/* The longest loan period, in days. */
inline constexpr std::size_t kMaxLoanDays = 3650;

/* The years of the dates the desk takes and computes (loan, due, return
 * and renewal dates, "today"). */
inline constexpr int kFirstYear = 1900;
inline constexpr int kLastYear = 2999;

/* The most characters (after normalisation) of a title, an author, a
 * name or an address, and of a genre. */
inline constexpr std::size_t kMaxText = 300;
inline constexpr std::size_t kMaxGenre = 100;
/* The longest reason a clerk may give for an override or a waiver. */
inline constexpr std::size_t kMaxReason = 200;

/* True when a user record takes `phone` exactly as it stands: the core's
 * phone check passes and it fits the record's 16 characters. */
bool phone_fits(std::string_view phone);

/* This build's phone rule in a few words, for refusals and help:
 * "the form +DD DD DDD DD DD" or "8 to 16 characters, each a digit, '+'
 * or a space". */
std::string_view phone_rule();

} // namespace desk::rules

#endif
