/*
 * spreadsheet.hpp - the CSV files that spreadsheets write, read into rows of
 * text cells, and rows written back out for them.
 *
 * Reading takes the whole file's bytes. A UTF-8 byte order mark is skipped;
 * text that is not valid UTF-8 is taken as Windows-1252 and converted. The
 * delimiter (comma, semicolon or tab) is the one the header row uses most.
 * Cells follow RFC 4180: a cell that starts with a double quote runs to the
 * closing quote and may hold delimiters, doubled quotes and line breaks.
 * Rows end in LF, CR LF or a lone CR. Rows whose cells are all blank are
 * dropped. Each row keeps the line it starts on, counting from 1.
 */
#ifndef LENDREC_TOOL_SPREADSHEET_HPP
#define LENDREC_TOOL_SPREADSHEET_HPP

#include <cstddef>
#include <optional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text_sink.hpp"

namespace desk::sheet {

/* A file read whole: its rows of text cells (the header first, when the
 * file has any), each with the line of the file where it starts. */
class Sheet {
public:
    char delimiter = ',';
    bool converted_from_1252 = false; /* the bytes were not UTF-8 */
    bool holds_nul = false;           /* some cell holds a NUL byte */
    /* The line where a quoted cell opens and never closes; that row and
     * everything after it is left out. */
    std::optional<std::size_t> unclosed_quote_line;

    std::size_t rows() const { return rows_.size(); }
    std::size_t line(std::size_t row) const { return rows_[row].line; }
    std::size_t width(std::size_t row) const { return rows_[row].count; }
    /* The text of a cell, valid while the Sheet lives; empty past the end
     * of a short row. `row` must be below rows(). */
    std::string_view cell(std::size_t row, std::size_t column) const;
    /* A row's cells copied out. */
    std::vector<std::string> cells(std::size_t row) const;

    /* Building, for the reader: cells are appended to the current row. */
    std::string& text() { return text_; }
    void reserve(std::size_t text, std::size_t rows, std::size_t cells);
    void begin_row(std::size_t line);
    void end_cell(std::size_t start) { cells_.emplace_back(start, text_.size() - start); }
    /* Closes the row; a row of blank cells is dropped. */
    void end_row();
    void drop_row();

private:
    struct Span {
        std::size_t line, first, count, text_start;
    };
    std::string text_;                                       /* every cell's text */
    std::vector<std::pair<std::size_t, std::size_t>> cells_; /* offset, length */
    std::vector<Span> rows_;
    Span open_{};
};

/*
 * Reads a spreadsheet's CSV bytes into a Sheet. Never fails: malformed
 * quoting is read the lenient way spreadsheets read it (text after a
 * closing quote joins the cell; a quote inside an unquoted cell is kept),
 * except a quote that never closes, noted in `unclosed_quote_line`.
 */
Sheet parse(std::string_view bytes);

/* Where unquoted cell text starting at `at` ends: at the next
 * `delimiter`, CR or LF, or at the end of `text`. Looks at eight bytes at
 * a time. */
std::size_t plain_end(std::string_view text, std::size_t at, char delimiter);

/* Windows-1252 bytes converted to UTF-8. Never fails: the five bytes the
 * code page leaves unassigned become the C1 controls of the same value. */
std::string from_1252(std::string_view bytes);

/*
 * Reads a whole file in binary. Returns nullopt when it cannot be opened or
 * read, with the system's reason in `error`.
 */
std::optional<std::string> read_file(const std::string& path, std::string& error);

/* Options of the CSV writer. */
struct WriteOptions {
    bool excel = false; /* CR LF row ends and formulas shielded (the caller adds the byte order
                           mark) */
};

/* True when a spreadsheet would run a cell with this text as a formula: it
 * begins with '=', '+', '-' or '@', or with a tab or a CR and is not
 * blank. */
bool runs_as_formula(std::string_view cell);

/* A cell with the one apostrophe that shields a formula dropped: "'+34 91"
 * gives "+34 91"; any other cell is returned as it is. */
std::string_view unshield(std::string_view cell);

/*
 * Appends one row to `out`: cells separated by commas, the row ended by LF
 * (CR LF with `excel`). With `excel` a cell that runs_as_formula is written
 * with a leading apostrophe, so the spreadsheet shows it as text. A cell holding a comma, a quote, a CR or an LF, or
 * starting or ending with a space, is enclosed in quotes with its quotes
 * doubled; an only cell that is empty is quoted so the row is not blank.
 */
void write_row(TextSink& out, std::span<const std::string_view> cells, const WriteOptions& options);
void write_row(TextSink& out, std::initializer_list<std::string_view> cells,
               const WriteOptions& options);

/* The UTF-8 byte order mark. */
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

} // namespace desk::sheet

#endif
