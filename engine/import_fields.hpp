/*
 * import_fields.hpp - turning a spreadsheet's header and cells into what the
 * records take: columns found by name or synonym, phones brought to the
 * shape this build accepts, copies read as whole numbers.
 */
#ifndef LENDREC_TOOL_IMPORT_FIELDS_HPP
#define LENDREC_TOOL_IMPORT_FIELDS_HPP

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace desk::import_fields {

/* One field a record needs: its name, the header names that give it
 * (already lower case), and whether an import can do without it. */
struct Field {
    std::string_view name;
    std::vector<std::string_view> synonyms;
    bool required = true;
};

/* The fields of a book row (title, author, genre, copies, id) and of a
 * user row (name, address, phone, id). The id, when given, names the
 * record a row updates; the export's headers are among the names. */
std::span<const Field> book_fields();
std::span<const Field> user_fields();

/* The places of the fields above, for Columns::index. */
enum BookField : std::size_t { kTitle, kAuthor, kGenre, kCopies, kBookId };
enum UserField : std::size_t { kName, kAddress, kPhone, kUserId };

/* Where each field was found in the header, and what was left over. */
struct Columns {
    std::vector<std::optional<std::size_t>> index; /* one per field */
    std::vector<std::string> unused;               /* header names, as written */
    std::string problem;                           /* empty, or why the header cannot be used */
};

/*
 * Matches header cells to fields, folded (text::fold) and trimmed. A
 * missing required field, or two columns giving one field, sets `problem`
 * (naming the field or the columns); unknown and empty header cells are
 * listed in `unused` (empty ones as "(column N)").
 */
Columns match_columns(const std::vector<std::string>& header, std::span<const Field> fields);

/* A cell with spaces and tabs trimmed from both ends. */
std::string_view trim(std::string_view text);

/* A phone as the import will store it. */
struct Phone {
    enum class Verdict { kept, changed, refused } verdict = Verdict::refused;
    std::string text; /* what the user record gets (kept or changed) */
};

/*
 * Brings a typed phone to what this build's user record accepts. A phone
 * the record takes as typed is kept. Otherwise, when the text holds only
 * digits, at most one leading '+', spaces and the separators - . ( ) /,
 * its digits are rewritten to "+DD DD DDD DD DD" (a '+' and 11 digits) or
 * to its digit groups joined by single spaces; the first of these the
 * record takes is the change. Anything else is refused: nothing is guessed.
 * The core's phone check is the judge of every candidate.
 */
Phone fit_phone(std::string_view typed);

/*
 * Reads a copies cell: plain decimal digits after trimming, fitting
 * size_t. Returns nullopt for anything else, the empty cell included.
 */
std::optional<std::size_t> parse_copies(std::string_view cell);

} // namespace desk::import_fields

#endif
