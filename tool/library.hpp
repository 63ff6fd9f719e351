/*
 * library.hpp - the open library: one folder holding books.csv, users.csv
 * and loans.csv, loaded under the library's lock after any interrupted
 * commit has been finished, changed in memory, and committed all together.
 *
 *     auto lib = desk::Library::open(folder, desk::Access::change);
 *     Book book = lib->books.find(7);
 *     ...change records, or add/remove them...
 *     lib->books.touch();
 *     lib->commit();       // saves the touched files, all or nothing
 *
 * The records belong to the library's lists and live as long as the
 * Library; never delete one yourself (use remove). Failures are thrown as
 * desk::Failure with their exit status.
 */
#ifndef LENDREC_TOOL_LIBRARY_HPP
#define LENDREC_TOOL_LIBRARY_HPP

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "book.h"
#include "borrow.h"
#include "list.h"
#include "lock.hpp"
#include "serializer.h"
#include "user.h"

namespace desk {

/* Reading commands share the library; changing ones hold it alone. */
enum class Access { read, change };

/* One place of a record file the loader could not take as written. */
struct Problem {
    std::size_t line;          /* 1-based; 0 for the file as a whole */
    serializer_problem_t kind;
    std::string cause;
};

/* The records of one record file, in file order, and its next identifier.
 * `Handle` is Book, User or Borrow. */
template <typename Handle>
class Records {
public:
    Records(std::string name, void (*deleter)(void*));
    ~Records();
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    const std::string& name() const { return name_; } /* "books.csv" */
    const std::vector<Handle>& all() const { return items_; }
    List list() const { return list_; }

    /* The record with identifier `id` (the first, if several), or null. */
    Handle find(std::size_t id) const;

    /* The identifier the next new record gets (the trailer). */
    std::size_t next_id() const { return next_id_; }

    /* Hands out the next identifier and moves the trailer on; call it
     * before or after adding the record that takes it. Throws Failure
     * kFiles, nothing changed, when a record read from the file already
     * holds it (the trailer fell behind: `lendrec check --repair` raises
     * it) or none is left. */
    std::size_t take_id();
    void set_next_id(std::size_t id) { next_id_ = id; touch(); }

    /* Appends a record the caller made (the list owns it from now on);
     * false, the record deleted, when memory runs out. Touches the file. */
    bool add(Handle record);

    /* Removes and deletes the record. Touches the file. */
    void remove(Handle record);

    /* Marks the file for saving at the next commit. */
    void touch() { touched_ = true; }
    bool touched() const { return touched_; }

    /* What loading the file told; `missing` when the file was not there. */
    std::vector<Problem> problems;
    bool missing = false;

    /* Loading, for Library::open: the reporting loader and the file. */
    void load(std::size_t (*loader)(const char*, List, ProblemFunction, void*),
              const std::string& path);

private:
    std::string name_;
    void (*deleter_)(void*);
    List list_;
    std::vector<Handle> items_;
    std::vector<Handle> added_; /* records added since loading */
    std::size_t next_id_ = 1;
    bool touched_ = false;
};

class Library {
public:
    /* Opens the library in `folder`: takes the lock (shared for read,
     * exclusive for change; exclusive whenever an interrupted commit or a
     * temporary must be tidied first), recovers, and loads the three files.
     * Throws Failure: kRefused when the folder is not a library, kBusy,
     * kWrite, or kFiles when memory runs out while loading. Load problems
     * are kept in each Records' `problems`, not thrown; see warn(). */
    static std::unique_ptr<Library> open(const std::string& folder, Access access);

    /* Makes a new library: the folder (created when missing) must hold none
     * of the three files; each is written holding only its trailer "1".
     * Throws Failure kRefused when it already holds one, kWrite on failure. */
    static void create(const std::string& folder);

    Records<Book> books{"books.csv", book_deleter};
    Records<User> users{"users.csv", user_deleter};
    Records<Borrow> loans{"loans.csv", borrow_deleter};

    const std::string& folder() const { return folder_; }

    /* Tells every load problem on standard error as a warning
     * ("lendrec: warning: books.csv:3: cause"), pointing to `lendrec check`. */
    void warn() const;

    /* Saves every touched file, all or nothing (commit.hpp). Refuses with
     * Failure kFiles, writing nothing, when a touched file had a line the
     * loader refused or ignored, or could not be read: saving would lose it.
     * kWrite when writing fails. A commit with nothing touched does nothing.
     * Once written, warns (unless `quiet`) of what loading told. */
    void commit(bool quiet = false);

private:
    Library(std::string folder, Access access);
    void load();

    std::string folder_;
    std::unique_ptr<LibraryLock> lock_;
};

/* "books.csv:3: cause" ("books.csv: cause" for line 0). */
std::string describe(const std::string& file, const Problem& problem);

/* "refused", "changed", "ignored" or "not read". */
const char* problem_kind(serializer_problem_t kind);

/* True when the problem forbids saving over the file. */
bool blocks_saving(const Problem& problem);

/* Open loans (not returned) of a book or of a user. */
std::vector<Borrow> open_loans_of_book(const Library& lib, std::size_t book_id);
std::vector<Borrow> open_loans_of_user(const Library& lib, std::size_t user_id);

} // namespace desk

#endif
