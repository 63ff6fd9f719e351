/*
 * notices.hpp - what the library writes or phones its users about: loans
 * overdue, loans falling due within a few days, and copies set aside for
 * their holds waiting to be picked up; with a CSV of them for a mail
 * merge. Nothing here changes the library.
 */
#ifndef LENDREC_ENGINE_NOTICES_HPP
#define LENDREC_ENGINE_NOTICES_HPP

#include <cstddef>
#include <optional>
#include <vector>

#include "dates.hpp"
#include "library.hpp"
#include "text_sink.hpp"

namespace desk {

/* Why a loan is on the notices; the list comes in this order. */
enum class NoticeKind { overdue, due, pickup };

/* "overdue", "due" or "pickup": the kind as the notices write it. */
const char* notice_kind_name(NoticeKind kind);

/* The days ahead the notices look for loans falling due, when not told,
 * and the most they look. */
inline constexpr std::size_t kDefaultDueWithin = 3;
inline constexpr std::size_t kMaxDueWithin = 365;

/* One open loan, or one hold waiting, to tell its user about. */
struct Notice {
    NoticeKind kind;
    Borrow loan;              /* null for a hold */
    std::optional<Hold> hold; /* for a pickup */
    Day due;                  /* the due date, or the day to pick up by */
    long days; /* overdue: days past the due date; else days until it (0 on the day) */
};

/* The open loans overdue on `day`, those due from `day` to `within` days
 * after it, and the holds waiting to be picked up from `day` on: overdue
 * first, oldest due first, then due and pickups, soonest first; equals by
 * identifier. The loans belong to the library. Failure kRefused when
 * `within` is above kMaxDueWithin. */
std::vector<Notice> notices(const Library& lib, Day day, std::size_t within);

/* Writes into `out` the CSV text (RFC 4180) of `list`, for a mail merge: a
 * header row, kind,loan,hold,book,title,due,days,user,name,phone,address,
 * then a row per notice; the texts of a missing book or user, and the
 * loan of a pickup or the hold of a loan, are empty. */
void notices_csv(const Library& lib, const std::vector<Notice>& list, TextSink& out);

} // namespace desk

#endif
