/*
 * records.hpp - the records of one kind (books, users or loans) held in
 * memory: the core's list in file order, an index by identifier, the next
 * identifier to hand out (the trailer) and what loading them told.
 *
 * Finding a record by identifier and handing out an identifier take
 * constant time. The records belong to the list and live as long as the
 * Records; never delete one yourself (use remove).
 */
#ifndef LENDREC_ENGINE_RECORDS_HPP
#define LENDREC_ENGINE_RECORDS_HPP

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "book.h"
#include "borrow.h"
#include "fileset.hpp"
#include "id_map.hpp"
#include "list.h"
#include "serializer.h"
#include "user.h"

namespace desk {

/* One place of a record file the store could not take as written. */
struct Problem {
    std::size_t line; /* 1-based; 0 for the file as a whole */
    serializer_problem_t kind;
    std::string cause;
};

/* "books.csv:3: cause" ("books.csv: cause" for line 0). */
std::string describe(const std::string& file, const Problem& problem);

/* "refused", "changed", "ignored" or "not read". */
const char* problem_kind(serializer_problem_t kind);

/* True when the problem forbids saving over the file: all but CHANGED. */
bool blocks_saving(const Problem& problem);

/* The identifier of a record of any kind. */
inline std::size_t id_of(Book book)
{
    return book_get_id(book);
}
inline std::size_t id_of(User user)
{
    return user_get_id(user);
}
inline std::size_t id_of(Borrow loan)
{
    return borrow_get_id(loan);
}

/* `Handle` is Book, User or Borrow. */
template <typename Handle>
class Records {
public:
    explicit Records(fileset::Kind kind);
    ~Records();
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    fileset::Kind kind() const { return file_.kind; }
    const std::string& name() const { return name_; } /* "books.csv" */
    const char* what() const { return file_.what; }   /* "book" */
    const std::vector<Handle>& all() const { return items_; }
    List list() const { return list_; }

    /* The record with identifier `id` (the first, if several), or null. */
    Handle find(std::size_t id) const;

    /* Identifiers held by more than one record, each once, ascending. */
    std::vector<std::size_t> duplicated_ids() const;

    /* The highest identifier of any record, 0 when there is none. */
    std::size_t highest_id() const { return highest_; }

    /* True while every record's identifier is above those before it in
     * all(), as a record file written by the desk holds them. */
    bool in_id_order() const { return in_id_order_; }

    /* The identifier the next new record gets (the trailer). */
    std::size_t next_id() const { return next_id_; }

    /* Hands out the next identifier and moves the trailer on; call it
     * before or after adding the record that takes it. Throws
     * Failure kFiles, nothing changed, when a record already holds it (the
     * trailer fell behind: `lendrec check --repair` raises it) or none is
     * left. */
    std::size_t take_id();
    void set_next_id(std::size_t id);

    /* Makes room for `count` more records, so that adding them one after
     * another under the identifiers handed out next moves nothing held.
     * Throws std::bad_alloc when memory runs out. */
    void reserve(std::size_t count);

    /* Appends a record the caller made (the list owns it from now on);
     * false, the record deleted, when memory runs out. Touches the file. */
    bool add(Handle record);

    /* Removes and deletes every record for which `doomed` is true, in one
     * walk of the records (and one of the list for each going); the count
     * removed. Touches the file when any went. */
    std::size_t remove_if(const std::function<bool(Handle)>& doomed);

    /* Removes and deletes one record. Touches the file. */
    void remove(Handle record);

    /* Marks `record` (or, without one, the whole file) as changed: it is
     * saved at the next commit. Call changed(record) whenever a record's
     * texts or the identifiers it names change, so the library asks its
     * rules again (Library::suspects). */
    void changed(Handle record);
    void touch() { touched_ = true; }
    bool touched() const { return touched_; }

    /* The records added or marked changed since loading or the last
     * settle(), in the order it happened (one may come more than once),
     * and whether any record was removed since. */
    const std::vector<Handle>& news() const { return news_; }
    bool removed_any() const { return removed_any_; }

    /* For the library once a commit has saved the table as it is in
     * memory: untouched, nothing new or removed since, and the problems
     * of loading gone with the file they were about (when it was saved). */
    void settle();

    /* What loading told; `missing` when the file was not there. */
    std::vector<Problem> problems;
    bool missing = false;

    /* True when the library was opened without this table (Library::open's
     * `kinds`): it stays empty, and the library commits nothing. */
    bool not_loaded = false;

    /* For stores: call once the list holds what was read, with the trailer
     * read. The records are found by identifier once the library has
     * indexed them (index_loaded). */
    void loaded(std::size_t next_id) { next_id_ = next_id; }

    /* For the library, once, after loading: indexes every record in one
     * walk of the list, calling `also(record)` on each while it is at hand.
     * Throws std::bad_alloc when memory runs out. */
    template <typename Also>
    void index_loaded(Also also);

private:
    void index(Handle record);
    void prepare_index();

    const fileset::RecordFile& file_;
    std::string name_;
    List list_;
    std::vector<Handle> items_;
    IdMap<Handle> by_id_;
    std::vector<std::size_t> duplicates_;
    std::vector<Handle> added_; /* records added since loading, in order */
    std::vector<Handle> news_;  /* added or changed since the last settle() */
    bool removed_any_ = false;
    std::size_t highest_ = 0;
    bool in_id_order_ = true;
    std::size_t next_id_ = 1;
    bool touched_ = false;
};

template <typename Handle>
template <typename Also>
void Records<Handle>::index_loaded(Also also)
{
    prepare_index();
    struct Walk {
        Records* self;
        Also* also;
    } state{this, &also};
    list_foreach(
        list_,
        [](void* element, void* args) {
            const auto* at = static_cast<Walk*>(args);
            const auto record = static_cast<Handle>(element);
            at->self->items_.push_back(record);
            at->self->index(record);
            (*at->also)(record);
        },
        &state);
}

} // namespace desk

#endif
