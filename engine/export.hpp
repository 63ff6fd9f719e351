/*
 * export.hpp - the library's records as a spreadsheet-ready CSV text.
 *
 * The CSV is UTF-8 and comma-separated, quoted only where a cell needs it.
 * The books and users files carry every field under the names the import
 * reads (import_fields.hpp), the identifier first: imported into the same
 * library they change nothing; into an empty one they make the same
 * records.
 */
#ifndef LENDREC_ENGINE_EXPORT_HPP
#define LENDREC_ENGINE_EXPORT_HPP

#include <string>

#include "dates.hpp"
#include "library.hpp"
#include "text_sink.hpp"

namespace desk {

/* Which records to export. */
enum class ExportKind { books, users, loans };

/*
 * Writes into `out`, handing on every piece, the CSV text of one kind of
 * record: a header row, then one row per record
 * in file order. Loans carry the book's title and the user's name beside
 * their identifiers and a status, "open", "returned" or "overdue" (due
 * before `today`); loans are not for importing. With `excel` the text
 * starts with a UTF-8 byte order mark, rows end in CR LF and cells a
 * spreadsheet would run as formulas are shielded (sheet::write_row).
 */
void export_csv(const Library& lib, ExportKind kind, Day today, bool excel, TextSink& out);

} // namespace desk

#endif
