/*
 * policy.hpp - the library's own rules of lending, read from library.toml
 * in its folder: the loan period and limits (per genre where it says),
 * renewals, fines, holds and the days the library is closed. Without the
 * file the desk lends as it always has: 28 days, 5 loans, no fines.
 *
 * A policy file is read whole or not at all: a key it does not know, a
 * value of the wrong kind or out of range, or text that is not TOML is a
 * problem with its line, and the library then lends by nothing but the
 * defaults until it is mended (changing commands refuse while a problem
 * stands, as for the record files).
 */
#ifndef LENDREC_ENGINE_POLICY_HPP
#define LENDREC_ENGINE_POLICY_HPP

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "dates.hpp"

namespace desk {

/* What one genre lends differently; an unset field follows [loan]. */
struct GenreTerms {
    std::optional<std::size_t> days, limit;
};

struct Policy {
    struct Loan {
        std::size_t days = 28;                   /* loan period */
        std::size_t limit = 5;                   /* open loans a user may hold */
        std::size_t renewals = 2;                /* renewals of one loan */
        bool block_when_overdue = true;          /* an overdue loan stops borrowing */
        std::map<std::string, GenreTerms> genre; /* by the book's genre as written */
    } loan;
    struct Fine {
        std::size_t per_day = 0; /* minor units (cents) a day late; 0: no fines */
        std::size_t grace_days = 0;
        std::size_t cap = 0;      /* the most one loan is fined; 0: no cap */
        std::size_t block_at = 0; /* a balance that stops borrowing; 0: never */
        std::string currency = "EUR";
    } fine;
    struct Hold {
        std::size_t pickup_days = 7; /* open days a copy waits for its holder */
        std::size_t limit = 3;       /* holds a user may place */
    } hold;
    struct Calendar {
        std::vector<std::chrono::weekday> closed_weekdays;
        std::vector<Day> closed_dates; /* ascending, each once */
    } calendar;

    /* The loan period and limit for a book of `genre`. */
    std::size_t days_for(std::string_view genre) const;
    std::size_t limit_for(std::string_view genre) const;

    /* True when the library is open on `day`. */
    bool open_on(Day day) const;

    /* The first open day on or after `day` (`day` itself when no day is
     * closed); a calendar closed every day leaves `day` as it is. */
    Day next_open_day(Day day) const;

    /* The open days after `from` up to and including `to` (0 when `to` is
     * not after `from`): the days a late loan is fined for. */
    std::size_t open_days_between(Day from, Day to) const;

    /* The day `days` open days after `from` (a hold's pickup day); with a
     * calendar closed every day, `days` days after. */
    Day after_open_days(Day from, std::size_t days) const;
};

/* One thing wrong with a policy file: its 1-based line (0 for the file as
 * a whole) and what is wrong, as a sentence. */
struct PolicyProblem {
    std::size_t line;
    std::string cause;
};

struct PolicyRead {
    Policy policy; /* the defaults when anything was wrong */
    std::vector<PolicyProblem> problems;
};

/* Reads the text of a policy file. Never throws but std::bad_alloc. */
PolicyRead read_policy(std::string_view text);

/* "Sunday" to "Saturday", as the policy file names the days. */
std::string_view weekday_name(std::chrono::weekday day);

/* An amount of money in minor units as the desk writes it: "2.50". */
std::string format_amount(std::size_t minor_units);

/* The `lendrec policy --json` shape (schemas/policy.schema.json). */
nlohmann::json to_json(const Policy& policy);

} // namespace desk

#endif
