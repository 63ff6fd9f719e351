/*
 * holds.cpp - the holds queue and its file.
 */
#include "holds.hpp"

#include <algorithm>
#include <array>

#include <fmt/format.h>

#include "catalogue.hpp"
#include "failure.hpp"
#include "library.hpp"
#include "members.hpp"
#include "text.hpp"

namespace desk {

namespace {

constexpr std::array<std::string_view, 5> kStateNames = {"queued", "waiting", "filled", "cancelled",
                                                         "expired"};

enum Column { kId, kBook, kUser, kPlaced, kState, kSetAside, kPickupBy, kEnded };
constexpr std::size_t kColumns = kEnded + 1;

std::optional<HoldState> state_named(std::string_view name)
{
    for (std::size_t i = 0; i < kStateNames.size(); ++i)
        if (kStateNames[i] == name)
            return static_cast<HoldState>(i);
    return std::nullopt;
}

void record(Library& lib, Action action, const Hold& hold, Day day, std::string note = "")
{
    lib.record({.action = action,
                .date = day,
                .book = hold.book,
                .user = hold.user,
                .hold = hold.id,
                .due = action == Action::hold_set_aside ? hold.pickup_by : std::nullopt,
                .note = std::move(note)});
}

/* Sets the copy `from` held aside for the next in line, or puts it back on
 * the shelf when no one waits. */
void pass_on(Library& lib, const Hold& from, Day day)
{
    if (set_aside_for_next(lib, from.book, day))
        return;
    if (Book book = lib.books().find(from.book); book != nullptr && book_return(book))
        lib.books().changed(book);
}

/* Ends `hold` as `state` on `day`, recording `action`. */
void end_hold(Library& lib, Hold& hold, HoldState state, Action action, Day day)
{
    const bool held_copy = hold.state == HoldState::waiting;
    hold.state = state;
    hold.ended = day;
    lib.holds().touched = true;
    const Hold ended = hold; /* pass_on may add to the table */
    record(lib, action, ended, day);
    if (held_copy && state != HoldState::filled)
        pass_on(lib, ended, day);
}

} // namespace

std::string_view state_name(HoldState state)
{
    return kStateNames[static_cast<std::size_t>(state)];
}

std::string read_row(const sheet::Sheet& sheet, std::size_t row, Hold& hold)
{
    if (sheet.width(row) != kColumns)
        return fmt::format("a hold line has {} fields, not {}", sheet.width(row), kColumns);
    auto cell = [&](Column column) { return sheet.cell(row, column); };
    auto id = cells::number(cell(kId)), book = cells::number(cell(kBook)),
         user = cells::number(cell(kUser));
    auto state = state_named(cell(kState));
    bool bad = false;
    auto placed = cells::date(cell(kPlaced), bad);
    hold.set_aside = cells::date(cell(kSetAside), bad);
    hold.pickup_by = cells::date(cell(kPickupBy), bad);
    hold.ended = cells::date(cell(kEnded), bad);
    if (!id || !book || !user || *id == 0 || !placed || !state || bad)
        return "a hold line is an id, a book, a user, the day placed, a state (queued, waiting, "
               "filled, cancelled or expired) and three days, each a date or empty";
    if (*state == HoldState::waiting && !hold.pickup_by)
        return fmt::format("hold {} waits with no day to pick it up by", *id);
    hold.id = *id, hold.book = *book, hold.user = *user, hold.placed = *placed;
    hold.state = *state;
    return "";
}

void write_row(TextSink& out, const Hold& hold)
{
    const std::string id = std::to_string(hold.id), book = std::to_string(hold.book),
                      user = std::to_string(hold.user), placed = format_date(hold.placed),
                      set_aside = cells::date_text(hold.set_aside),
                      pickup_by = cells::date_text(hold.pickup_by),
                      ended = cells::date_text(hold.ended);
    sheet::write_row(
        out, {id, book, user, placed, state_name(hold.state), set_aside, pickup_by, ended}, {});
}

Hold place_hold(Library& lib, std::size_t book_id, std::size_t user_id, Day day)
{
    expire_holds(lib, day);
    Book book = find_book(lib, book_id);
    User user = find_user(lib, user_id);
    if (book_get_available(book) > 0)
        throw Failure(kRefused, fmt::format("book {} ({}) has a copy on the shelf; lend it "
                                            "instead",
                                            book_id, book_get_title(book)));
    for (Borrow loan : lib.open_loans_of_user(user_id))
        if (borrow_get_book_id(loan) == book_id)
            throw Failure(kRefused,
                          fmt::format("user {} ({}) has book {} out already (loan {})", user_id,
                                      user_get_name(user), book_id, borrow_get_id(loan)));
    std::size_t held = 0;
    for (const Hold& hold : lib.holds().rows) {
        if (!hold.active() || hold.user != user_id)
            continue;
        if (hold.book == book_id)
            throw Failure(kRefused, fmt::format("user {} ({}) holds book {} already (hold {})",
                                                user_id, user_get_name(user), book_id, hold.id));
        ++held;
    }
    if (held >= lib.policy().hold.limit)
        throw Failure(kRefused,
                      fmt::format("user {} ({}) already has {}, the limit", user_id,
                                  user_get_name(user), text::counted(held, "hold", "holds")));
    Hold placed = lib.holds().add({.book = book_id, .user = user_id, .placed = day});
    record(lib, Action::hold_placed, placed, day);
    return placed;
}

Hold cancel_hold(Library& lib, std::size_t id, Day day)
{
    expire_holds(lib, day);
    Hold* hold = lib.holds().find(id);
    if (hold == nullptr)
        throw Failure(kRefused, fmt::format("no hold {}", id), Cause::no_such_record);
    if (!hold->active())
        throw Failure(kRefused, fmt::format("hold {} is {} already", id, state_name(hold->state)));
    end_hold(lib, *hold, HoldState::cancelled, Action::hold_cancelled, day);
    return *lib.holds().find(id);
}

std::size_t expire_holds(Library& lib, Day day)
{
    std::size_t expired = 0;
    for (std::size_t i = 0; i < lib.holds().rows.size(); ++i) {
        Hold& hold = lib.holds().rows[i];
        if (hold.state == HoldState::waiting && hold.pickup_by && *hold.pickup_by < day) {
            end_hold(lib, hold, HoldState::expired, Action::hold_expired, day);
            ++expired;
        }
    }
    return expired;
}

std::optional<Hold> set_aside_for_next(Library& lib, std::size_t book_id, Day day)
{
    for (Hold& hold : lib.holds().rows)
        if (hold.state == HoldState::queued && hold.book == book_id) {
            hold.state = HoldState::waiting;
            hold.set_aside = day;
            hold.pickup_by = lib.policy().after_open_days(day, lib.policy().hold.pickup_days);
            lib.holds().touched = true;
            record(lib, Action::hold_set_aside, hold, day);
            return hold;
        }
    return std::nullopt;
}

Hold* waiting_hold(Library& lib, std::size_t book_id, std::size_t user_id)
{
    for (Hold& hold : lib.holds().rows)
        if (hold.state == HoldState::waiting && hold.book == book_id && hold.user == user_id)
            return &hold;
    return nullptr;
}

const Hold* queued_for_other(const Library& lib, std::size_t book_id, std::size_t user_id)
{
    for (const Hold& hold : lib.holds().rows)
        if (hold.state == HoldState::queued && hold.book == book_id && hold.user != user_id)
            return &hold;
    return nullptr;
}

std::size_t copies_set_aside(const Library& lib, std::size_t book_id)
{
    return static_cast<std::size_t>(
        std::count_if(lib.holds().rows.begin(), lib.holds().rows.end(), [&](const Hold& hold) {
            return hold.state == HoldState::waiting && hold.book == book_id;
        }));
}

std::size_t place_in_line(const Library& lib, const Hold& hold)
{
    if (hold.state != HoldState::queued)
        return 0;
    std::size_t place = 1;
    for (const Hold& other : lib.holds().rows)
        if (other.id < hold.id && other.state == HoldState::queued && other.book == hold.book)
            ++place;
    return place;
}

std::vector<Hold> list_holds(const Library& lib, const HoldFilter& filter)
{
    std::vector<Hold> kept;
    for (const Hold& hold : lib.holds().rows)
        if ((filter.all || hold.active()) && (!filter.book || hold.book == *filter.book) &&
            (!filter.user || hold.user == *filter.user))
            kept.push_back(hold);
    return kept;
}

} // namespace desk
