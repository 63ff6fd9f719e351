/*
 * store.hpp - where a library's records live, behind one narrow interface.
 *
 * The engine reaches records only through a Store: opened for reading or
 * for change, it fills the three tables of records with their next
 * identifiers and tells what it could not read; commit makes every touched
 * table, and the lines the history gains, durable all together or not at
 * all. The library folder of record
 * files (folder_store.hpp) is the one store today. A database store fits
 * the same shape: open for change begins a transaction that holds the
 * library, load reads the rows, commit writes the changed records and
 * commits the transaction; the rules above never see the difference.
 */
#ifndef LENDREC_ENGINE_STORE_HPP
#define LENDREC_ENGINE_STORE_HPP

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "failure.hpp"
#include "fines.hpp"
#include "history.hpp"
#include "holds.hpp"
#include "records.hpp"

namespace desk {

/* Reading shares the library; change holds it alone. */
enum class Access { read, change };

/* The records of one library, one table per kind, with the renewals of
 * its open loans, its holds and fines, and the lines its history gains at
 * the next commit. */
struct Tables {
    Records<Book> books{fileset::Kind::books};
    Records<User> users{fileset::Kind::users};
    Records<Borrow> loans{fileset::Kind::loans};
    Renewals renewals;
    Holds holds;
    Fines fines;
    std::vector<Entry> new_history;
};

/* Some kinds of record: the tables a library is opened with. */
class Kinds {
public:
    /* Every kind: what a library is opened with unless told otherwise. */
    static constexpr Kinds all() { return Kinds(7u); }

    /* Only the kinds named. */
    static constexpr Kinds only(std::initializer_list<fileset::Kind> kinds)
    {
        unsigned bits = 0;
        for (fileset::Kind kind : kinds)
            bits |= bit(kind);
        return Kinds(bits);
    }

    constexpr bool has(fileset::Kind kind) const { return (bits_ & bit(kind)) != 0; }

    /* The same kinds, and the history read ahead beside them (a command
     * that answers from the history). */
    constexpr Kinds with_history() const { return Kinds(bits_ | kHistory); }
    constexpr bool has_history() const { return (bits_ & kHistory) != 0; }

private:
    static constexpr unsigned kHistory = 1u << 8;
    constexpr explicit Kinds(unsigned bits) : bits_(bits) {}
    static constexpr unsigned bit(fileset::Kind kind) { return 1u << static_cast<unsigned>(kind); }
    unsigned bits_;
};

/* Calls `visit` on each table in the folder table's order. */
template <typename Tables_, typename Visit>
void each_table(Tables_& tables, Visit visit)
{
    visit(tables.books);
    visit(tables.users);
    visit(tables.loans);
}

class Store {
public:
    virtual ~Store() = default;

    /* Told each table as soon as it is whole, on the thread that called
     * load(): the books and the users before the loans. */
    using Loaded = std::function<void(fileset::Kind)>;

    /* Fills `tables` (empty when called) with every record and next
     * identifier, telling `loaded` of each table; a table marked
     * `not_loaded` is told but left as it is. What cannot be read goes
     * into each table's `problems`, not thrown. Throws Failure kWrite when
     * the store cannot be read at all, std::bad_alloc when memory runs
     * out, and what `loaded` throws. */
    virtual void load(Tables& tables, const Loaded& loaded) = 0;

    /* Begins reading the history ahead, beside the loading of the
     * records, so that history() answers from what was read; a hint a
     * store may ignore. Throws nothing. */
    virtual void read_history_ahead() {}

    /* The whole history read and parsed (or as read ahead), handed over
     * for the caller to keep and visit as often as it likes; none when the
     * library has no history or the store keeps none such, and then
     * history() must be asked. Throws as history() does. */
    virtual std::optional<ReadHistory> take_history() { return std::nullopt; }

    /* True when the library has a history (history.hpp) to add to. */
    virtual bool has_history() = 0;

    /* Reads the library's history, calling `visit` on each entry in the
     * order they happened; the lines that could not be read, as problems.
     * Throws Failure kWrite when it cannot be read at all, std::bad_alloc
     * when memory runs out, and what `visit` throws. */
    virtual std::vector<Problem> history(const std::function<void(const Entry&)>& visit) = 0;

    /* The text of the library's policy (policy.hpp), or none when the
     * library has none; `problem` says why one that is there could not be
     * read. Throws std::bad_alloc when memory runs out. */
    struct StoredPolicy {
        std::optional<std::string> text;
        std::string problem;
    };
    virtual StoredPolicy policy() = 0;

    /* The text of the library's staff file (staff.hpp), in the same shape:
     * none when the library has none, `problem` saying why one that is
     * there could not be read. A store that keeps no staff has none.
     * Throws std::bad_alloc when memory runs out. */
    using StoredStaff = StoredPolicy;
    virtual StoredStaff staff_text() { return {}; }

    /* Replaces the staff file with `text`, durably and all or nothing,
     * readable by the library's owner alone (0600, whatever the umask or
     * the mode an older file had); returns the warnings of tidying after
     * the change was decided, as commit() does. Only a store opened for
     * change, which holds the library alone, writes it: otherwise, or in
     * a store that keeps no staff, Failure kRefused. Throws Failure kWrite,
     * nothing changed, when it cannot write. */
    virtual std::vector<std::string> write_staff_text(const std::string& text)
    {
        (void)text;
        throw Failure(kRefused, "this library keeps no staff accounts");
    }

    /* Makes every touched table durable (the renewals, holds and fines
     * too) with the history's new lines, all or nothing. Throws Failure
     * (kWrite, kFiles) with nothing changed when it cannot. Once the change
     * is decided it is reported as done: what went wrong after that point
     * (tidying) comes back as warnings, never as a throw. */
    virtual std::vector<std::string> commit(const Tables& tables) = 0;

    /* What the store noticed while opening that the clerk should hear
     * (an unreadable commit record set aside, say), as sentences. */
    virtual std::vector<std::string> notices() const = 0;

    /* A cheap text that differs once another commit, or an edit of the
     * policy, has come between two calls; "" when the store cannot tell
     * (then any two libraries of it must be taken as different). Throws
     * std::bad_alloc when memory runs out. */
    virtual std::string signature() const { return {}; }

    /* Where the library is, for messages ("'lib'"). */
    virtual std::string where() const = 0;
};

} // namespace desk

#endif
