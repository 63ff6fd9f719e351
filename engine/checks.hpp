/*
 * checks.hpp - is the library sound? What the loaders could not take as
 * written, and the rules between the three files: identifiers unique and
 * below their trailer, every loan (open or returned) naming a book and a
 * user that exist, each shelf count equal to the copies less the open
 * loans, every text of every record UTF-8.
 *
 * A library with any finding takes no change: refuse_unless_sound is the
 * first thing every changing command does. `lendrec check --repair` mends
 * what needs no guessing (shelf counts, trailers, lines the loader
 * changed) in the files it may save whole, and says why the rest waits
 * for a person.
 */
#ifndef LENDREC_ENGINE_CHECKS_HPP
#define LENDREC_ENGINE_CHECKS_HPP

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "library.hpp"

namespace desk {

/* One thing that does not hold. */
struct Finding {
    std::string file;
    std::size_t line;    /* 1-based; 0: none */
    std::string kind;    /* "refused", "changed", "ignored", "not read" or "rule" */
    std::string message; /* "books.csv:3: cause", or the rule's sentence */
};

/* What a check found and, with repair, what it mended and what it left. */
struct CheckReport {
    std::vector<Finding> findings;         /* what still does not hold */
    std::vector<std::string> repaired;     /* "books.csv: next identifier 7 -> 8" */
    std::vector<std::string> not_repaired; /* why a kind of finding waits for a person */
    bool ok() const { return findings.empty(); }
};

/* The rules of one record, as the opening walks and the check both ask
 * them: every text of the record is UTF-8; the loan names a book and a
 * user that exist in `lib`. */
bool texts_are_utf8(Book book);
bool texts_are_utf8(User user);
bool names_exist(const Library& lib, Borrow loan);

/* Every finding of `lib`: the records opening suspected (Library::
 * suspects) or, once the library has changed, one walk of each table. */
CheckReport check_library(const Library& lib);

/* The same with the history's findings (history_checks.hpp), mending in
 * memory what needs no guessing in the files that may be saved whole (the
 * mended tables are touched, the repair recorded in the history; the
 * caller commits). */
CheckReport repair_library(Library& lib);

/* The `lendrec check --json` shape (schemas/check.schema.json). */
nlohmann::json to_json(const CheckReport& report);

/* Returns when check_library finds nothing; otherwise throws
 * Failure(kFiles) naming the first few findings, then "and N more",
 * ending "nothing was changed; run `lendrec check`". */
void refuse_unless_sound(const Library& lib);

/* Commits `lib` as every front end does: refuses with Failure kFiles,
 * writing nothing, when a touched file had a line the loader refused or
 * ignored, or could not be read (the sentences joined by "\nlendrec: ");
 * else Library::commit, whose warnings it returns. */
std::vector<std::string> commit_unless_unread(Library& lib);

} // namespace desk

#endif
