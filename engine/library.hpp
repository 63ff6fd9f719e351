/*
 * library.hpp - the open library: the records of one store, indexed, with
 * the open loans of each book and each user kept at hand, changed in
 * memory and committed all together.
 *
 *     auto lib = desk::Library::open(desk::open_folder_store(dir, desk::Access::change, 5));
 *     Book book = lib->books().find(7);
 *     ...change records through the engine's operations...
 *     lib->commit();       // saves the touched tables, all or nothing
 *
 * The records belong to the library and live as long as it; never delete
 * one yourself. Failures are thrown as desk::Failure with their status.
 */
#ifndef LENDREC_ENGINE_LIBRARY_HPP
#define LENDREC_ENGINE_LIBRARY_HPP

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "history.hpp"
#include "open_loans.hpp"
#include "policy.hpp"
#include "records.hpp"
#include "store.hpp"

namespace desk {

/* One problem of one record file, for reports. */
struct FileProblem {
    std::string file;
    Problem problem;
};

class Library {
public:
    /* Loads every record of `store` (which the library owns from now on)
     * and indexes the open loans. Throws what the store's load throws.
     * With `kinds`, only those tables are read, for a reading command
     * that needs no others: the rest stay empty, marked `not_loaded`, no
     * record of theirs is found, suspects() is null and commit() refuses. */
    static std::unique_ptr<Library> open(std::unique_ptr<Store> store, Kinds kinds = Kinds::all());

    Records<Book>& books() { return tables_.books; }
    Records<User>& users() { return tables_.users; }
    Records<Borrow>& loans() { return tables_.loans; }
    const Records<Book>& books() const { return tables_.books; }
    const Records<User>& users() const { return tables_.users; }
    const Records<Borrow>& loans() const { return tables_.loans; }
    const Tables& tables() const { return tables_; }

    /* Open loans (not returned) of a book or of a user, in file order;
     * empty for an identifier no loan names. Constant time. */
    std::span<const Borrow> open_loans_of_book(std::size_t book_id) const;
    std::span<const Borrow> open_loans_of_user(std::size_t user_id) const;

    /* Every open loan, in file order (loans lent since opening last). */
    std::span<const Borrow> open_loans() const { return open_; }

    /* Adds a loan the caller made (the library owns it from now on) and
     * indexes it when open; false, the loan deleted, when memory runs out. */
    bool add_loan(Borrow loan);

    /* Marks `loan` returned and takes it out of the open-loan indexes. */
    void close_loan(Borrow loan);

    /* The records breaking a rule that asks about every record
     * (checks.hpp), each kind in file order: those whose texts are not all
     * UTF-8 and the loans naming a book or user that does not exist; found
     * while opening, kept true by each commit (which asks the records
     * added or changed since), and found again by one walk on the first
     * ask after a commit that could not keep them (a record removed).
     * Null while a table has changes not yet committed, or was not
     * loaded, when only a walk of every record can tell. */
    struct Suspects {
        std::vector<Book> books;
        std::vector<User> users;
        std::vector<Borrow> loans;
    };
    const Suspects* suspects() const;

    /* True when anything was touched or recorded since opening or the
     * last commit: what a commit would write. */
    bool changed() const;

    /* The renewals of the open loans (history.hpp); change them through
     * the circulation rules, which touch them. */
    Renewals& renewals() { return tables_.renewals; }
    const Renewals& renewals() const { return tables_.renewals; }

    /* The holds and the fines (holds.hpp, fines.hpp); change them through
     * their rules, which touch them. */
    Holds& holds() { return tables_.holds; }
    const Holds& holds() const { return tables_.holds; }
    Fines& fines() { return tables_.fines; }
    const Fines& fines() const { return tables_.fines; }

    /* The clerk the history names for the changes from now on. */
    void set_clerk(std::string clerk) { clerk_ = std::move(clerk); }

    /* Adds `entry`, stamped with the time now and the clerk, to the lines
     * the history gains at the next commit. */
    void record(Entry entry);

    /* Reads the history as the store keeps it (not the lines recorded
     * since opening), calling `visit` on each entry; the lines that could
     * not be read. The first reading is kept, so later ones (through a
     * store attached again too) answer from memory until the next commit.
     * Throws Failure kWrite once the store is closed or when the history
     * cannot be read, and what `visit` throws. */
    std::vector<Problem> read_history(const std::function<void(const Entry&)>& visit) const;

    /* The text of the store's staff file (Store::staff_text), read now.
     * Throws Failure kWrite once the store is closed. */
    Store::StoredStaff staff_text() const;

    /* The library's policy (the defaults when it has none, or one that
     * could not be read whole) and what was wrong with its file. */
    const Policy& policy() const { return policy_.policy; }
    const std::vector<PolicyProblem>& policy_problems() const { return policy_.problems; }

    /* Every load problem of every file, in the folder table's order, then
     * the policy file's (each as a refused line). */
    std::vector<FileProblem> file_problems() const;

    /* What the store noticed while opening (store.hpp). */
    std::vector<std::string> notices() const
    {
        return store_ ? store_->notices() : std::vector<std::string>{};
    }

    /* Lets go of the store (and with it the library's lock); the records
     * stay readable, and nothing can be committed any more. */
    void close_store() { store_.reset(); }

    /* The store's signature (store.hpp) as of opening or the last commit:
     * the library in memory is the stored one while the two are equal. */
    const std::string& signature() const { return signature_; }

    /* Takes `store` (owned from now on) as the store of a library whose
     * store was closed, keeping the records in memory: opened for change to
     * commit, for reading to read the history, without loading again. Only
     * sound when `store`'s signature equals signature() and no change is
     * pending; Failure kWrite otherwise, `store` dropped. */
    void attach_store(std::unique_ptr<Store> store);

    /* Saves every touched table and the history's new lines, all or
     * nothing; the warnings of tidying after the change was decided
     * (store.hpp). A library with no history yet begins one, with a
     * `started` line naming the first loan it covers. A commit with
     * nothing touched and nothing recorded does nothing. */
    std::vector<std::string> commit();

private:
    explicit Library(std::unique_ptr<Store> store);

    /* Indexes a table the store has loaded whole (the loans last). */
    void index(fileset::Kind kind);

    /* Asks one record the rules about it, noting it when it breaks one. */
    void suspect_if_unsound(Book book) const;
    void suspect_if_unsound(User user) const;
    void suspect_if_unsound(Borrow loan) const;

    /* After a commit: the suspects as of the records committed; false
     * when they cannot be kept without a walk. */
    bool keep_suspects();

    std::unique_ptr<Store> store_;
    Tables tables_;
    std::vector<Borrow> open_;
    mutable Suspects suspects_;
    mutable bool suspects_lost_ = false; /* found again on the next ask */
    PolicyRead policy_;
    std::string clerk_ = "unknown";
    std::string signature_;
    mutable std::unique_ptr<ReadHistory> history_; /* as of signature_, once read */
    bool has_history_ = false;
    std::size_t first_new_loan_ = 1; /* the loans' trailer as opened */
    OpenLoans open_by_book_{borrow_get_book_id}, open_by_user_{borrow_get_user_id};
};

} // namespace desk

#endif
