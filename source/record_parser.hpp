/*
 * record_parser.hpp - loading a record file into a list.
 *
 * The file is read in blocks no larger than the file (at most kBlockSize)
 * through an incremental parser that keeps only the record in progress, so
 * neither long fields nor big files are ever held whole. A UTF-8 byte order
 * mark at the start is skipped; outside quotes a line ends in LF or CR LF (a
 * CR right before the end of the file ends the line too). A field that
 * starts with a double quote is quoted: it runs to the closing quote, with
 * inner quotes doubled, and holds any byte but NUL as it is. A quote inside
 * a field that did not start with one is an ordinary character.
 *
 * A line is refused whole, and the load goes on with the next one, when it
 * has the wrong number of fields, a field its kind's rules refuse, text
 * after a closing quote, a CR outside quotes that is not part of a line end,
 * or a NUL byte. When the file ends inside quotes, the line where that
 * record began is refused and reading resumes at the line after the one
 * that opened the quote, as if that line were absent. Empty lines are
 * skipped.
 *
 * The trailer is an unquoted line of digits only, with or without a line
 * end; loading stops there. A trailer too large for size_t reads as
 * SIZE_MAX: it never wraps to a small identifier that the file may already
 * use.
 */
#ifndef LENDREC_SOURCE_RECORD_PARSER_HPP
#define LENDREC_SOURCE_RECORD_PARSER_HPP

#include <cstddef>

#include "list.h"
#include "record_fields.hpp"
#include "serializer.h"

namespace lendrec {

/*
 * Appends every record of `file` of the given kind to `list` and returns
 * the trailer's identifier, telling `problem` (which may be null) about each
 * place not taken as written, in file order. Returns 1 for a file without a
 * trailer or one that cannot be opened (a missing file tells nothing; any
 * other, and a read error part-way, is told as not read), 0 for a null
 * argument or when memory runs out; then the records this load appended are
 * released and the list is as it was.
 */
size_t load_records(const char* file, List list, const RecordKind& kind, ProblemFunction problem,
                    void* args);

} // namespace lendrec

#endif /* LENDREC_SOURCE_RECORD_PARSER_HPP */
