/*
 * import.hpp - `lendrec import books|users FILE`: a spreadsheet's rows made
 * into records of the open library, with a report of every row that was
 * merged, changed or refused.
 */
#ifndef LENDREC_TOOL_IMPORT_HPP
#define LENDREC_TOOL_IMPORT_HPP

#include <cstddef>
#include <string>

#include <CLI/CLI.hpp>

#include "cli.hpp"
#include "library.hpp"
#include "spreadsheet.hpp"

namespace desk {

/* Adds `import books FILE` and `import users FILE` to the desk. */
void add_import_command(CLI::App& app, Desk& desk);

/* Which records a spreadsheet holds. */
enum class ImportKind { books, users };

/* What an import did, row by row, and its counts. */
struct ImportReport {
    std::string text; /* report lines, each ending in a newline */
    std::size_t added = 0, merged = 0, changed = 0, refused = 0;
    bool fatal = false; /* the file cannot be imported even skipping rows */
};

/*
 * Makes every data row of `sheet` into a record of `lib`, in memory only:
 * new books and users get the next identifiers; a book whose title and
 * author (case and surrounding spaces ignored) match one already in the
 * library or earlier in the file adds its copies to it. Rows the records
 * refuse are told as "LABEL:LINE: cause" and left out. Nothing is
 * committed: the caller commits, or drops `lib` to undo. Throws Failure
 * kRefused when the header lacks a column or gives one twice.
 */
ImportReport import_sheet(Library& lib, ImportKind kind, const sheet::Sheet& sheet,
                          const std::string& label);

} // namespace desk

#endif
