/*
 * import.hpp - a spreadsheet's rows made into records of the open library,
 * with a report of every row that was merged, updated, changed or refused.
 *
 * A row with an identifier (an `id` column, its cell not empty) updates the
 * record of that identifier: a book's title, author and genre are set and
 * its copies set (never below the copies out on loan); a user's name,
 * address and phone set. A row whose identifier names no record of the
 * library is added as a new record under the next identifier (so an
 * exported file brings the same records into an empty library). A row
 * without an identifier adds a record, or meets one already held: a book of
 * the same title and author (text::fold) takes its copies; a user of the
 * same name (text::fold) and phone is already there, its address updated.
 */
#ifndef LENDREC_ENGINE_IMPORT_HPP
#define LENDREC_ENGINE_IMPORT_HPP

#include <cstddef>
#include <string>
#include <string_view>

#include "library.hpp"
#include "spreadsheet.hpp"

namespace desk {

/* Which records a spreadsheet holds. */
enum class ImportKind { books, users };

/* What an import did, row by row, and its counts. */
struct ImportReport {
    std::string text; /* report lines, each ending in a newline */
    std::size_t added = 0, merged = 0, updated = 0, unchanged = 0;
    std::size_t changed = 0; /* phones brought to the build's shape */
    std::size_t refused = 0;
    bool fatal = false; /* the file cannot be imported even skipping rows */
};

/*
 * Makes every data row of `sheet` into a record of `lib`, in memory only
 * (see above). Every text cell is cleaned by text::clean under the rules'
 * limits; a cell shielded from spreadsheet formulas by one apostrophe
 * (sheet::unshield) loses it. Rows refused are told as "LABEL:LINE: cause"
 * and left out. Nothing is committed: the caller commits, or drops `lib` to
 * undo. Throws Failure kRefused when the header lacks a column or gives one
 * twice, kFiles when a trailer fell behind.
 */
ImportReport import_sheet(Library& lib, ImportKind kind, const sheet::Sheet& sheet,
                          const std::string& label);

/* Returns when `report` may be committed: nothing refused, or refused
 * rows left out with `skip_bad` and the file not fatally bad. Otherwise
 * throws Failure kRefused "nothing imported: N rows refused", followed by
 * `how_to_skip` when skipping would let the rest in: an import is all or
 * nothing. */
void refuse_partial_import(const ImportReport& report, bool skip_bad, std::string_view how_to_skip);

} // namespace desk

#endif
