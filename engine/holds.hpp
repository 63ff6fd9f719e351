/*
 * holds.hpp - holds: a user's place in the queue for a book none of whose
 * copies is on the shelf. When a copy comes back it is set aside for the
 * first in line (the hold waits, with a day to pick it up by) instead of
 * going back on the shelf; lending that book to its holder fills the hold;
 * a hold not picked up in time expires and its copy passes to the next in
 * line, or back to the shelf. So the shelf holds the copies less those
 * lent less those set aside.
 *
 * Holds live in `holds.csv`, every hold ever placed, one a line:
 *     id,book,user,placed,state,set_aside,pickup_by,ended
 * Operations change the library in memory and record their lines in the
 * history; the caller commits. Refusals are thrown as desk::Failure.
 */
#ifndef LENDREC_ENGINE_HOLDS_HPP
#define LENDREC_ENGINE_HOLDS_HPP

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dates.hpp"
#include "desk_table.hpp"

namespace desk {

class Library;

enum class HoldState { queued, waiting, filled, cancelled, expired };

/* "queued", "waiting", "filled", "cancelled" or "expired". */
std::string_view state_name(HoldState state);

struct Hold {
    std::size_t id = 0, book = 0, user = 0;
    Day placed{};
    HoldState state = HoldState::queued;
    std::optional<Day> set_aside{}, pickup_by{}, ended{};

    /* Queued or waiting: not yet filled, cancelled or expired. */
    bool active() const { return state == HoldState::queued || state == HoldState::waiting; }
};

using Holds = DeskTable<Hold>;

inline constexpr std::string_view kHoldsHeader =
    "id,book,user,placed,state,set_aside,pickup_by,ended";

/* One line of holds.csv (desk_table.hpp). */
std::string read_row(const sheet::Sheet& sheet, std::size_t row, Hold& hold);
void write_row(TextSink& out, const Hold& hold);

/* Places a hold for user `user_id` on book `book_id` on `day`. Refused
 * when either does not exist, a copy is on the shelf, the user has the
 * book out or a hold on it already, or holds the policy's limit of holds. */
Hold place_hold(Library& lib, std::size_t book_id, std::size_t user_id, Day day);

/* Cancels hold `id` on `day`; a copy set aside for it passes on. Refused
 * when there is no such hold or it is no longer queued or waiting. */
Hold cancel_hold(Library& lib, std::size_t id, Day day);

/* Every hold waiting past its pickup day on `day` expires, its copy
 * passing on; how many expired. */
std::size_t expire_holds(Library& lib, Day day);

/* A copy of book `book_id` came back on `day`: set aside for the first
 * hold in line, which now waits; that hold, or none when no one is in
 * line (the copy then goes back on the shelf: the caller's part). */
std::optional<Hold> set_aside_for_next(Library& lib, std::size_t book_id, Day day);

/* The hold of user `user_id` waiting for book `book_id`, or null. */
Hold* waiting_hold(Library& lib, std::size_t book_id, std::size_t user_id);

/* The first hold in line for book `book_id` by anyone but `user_id`, or
 * null. */
const Hold* queued_for_other(const Library& lib, std::size_t book_id, std::size_t user_id);

/* Copies of book `book_id` set aside for waiting holds. */
std::size_t copies_set_aside(const Library& lib, std::size_t book_id);

/* The place in line (1 first) of a queued hold; 0 for any other. */
std::size_t place_in_line(const Library& lib, const Hold& hold);

/* Which holds a list shows: of one book, of one user, finished ones too. */
struct HoldFilter {
    std::optional<std::size_t> book, user;
    bool all = false;
};

/* The holds `filter` keeps, in the order they were placed. */
std::vector<Hold> list_holds(const Library& lib, const HoldFilter& filter);

} // namespace desk

#endif
