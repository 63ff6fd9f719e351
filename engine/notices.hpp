/*
 * notices.hpp - the loans whose users the library writes to or phones:
 * those overdue and those falling due within a few days, with a CSV of
 * them for a mail merge. Nothing here changes the library.
 */
#ifndef LENDREC_ENGINE_NOTICES_HPP
#define LENDREC_ENGINE_NOTICES_HPP

#include <cstddef>
#include <vector>

#include "dates.hpp"
#include "library.hpp"
#include "text_sink.hpp"

namespace desk {

/* Why a loan is on the notices; the list comes in this order. */
enum class NoticeKind { overdue, due };

/* "overdue" or "due": the kind as the notices write it. */
const char* notice_kind_name(NoticeKind kind);

/* The days ahead the notices look for loans falling due, when not told,
 * and the most they look. */
inline constexpr std::size_t kDefaultDueWithin = 3;
inline constexpr std::size_t kMaxDueWithin = 365;

/* One open loan to tell its user about. */
struct Notice {
    NoticeKind kind;
    Borrow loan;
    Day due;
    long days; /* overdue: days past the due date; due: days until it (0 on the day) */
};

/* The open loans overdue on `day` and those due from `day` to `within`
 * days after it: overdue first, oldest due first, then due, soonest first;
 * loans due the same day by identifier. The loans belong to the library.
 * Failure kRefused when `within` is above kMaxDueWithin. */
std::vector<Notice> notices(const Library& lib, Day day, std::size_t within);

/* Writes into `out` the CSV text (RFC 4180) of `list`, for a mail merge: a
 * header row, kind,loan,book,title,due,days,user,name,phone,address, then
 * a row per notice; the texts of a missing book or user are empty. */
void notices_csv(const Library& lib, const std::vector<Notice>& list, TextSink& out);

} // namespace desk

#endif
