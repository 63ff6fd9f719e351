/*
 * output.hpp - what the desk prints: aligned tables that fit the terminal
 * (widths counted in terminal columns, text::display_width, so wide and
 * accented titles line up), JSON for scripts, and field listings for one
 * record.
 */
#ifndef LENDREC_TOOL_OUTPUT_HPP
#define LENDREC_TOOL_OUTPUT_HPP

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "json_text.hpp"
#include "text_sink.hpp"

namespace desk {

/* The terminal's width when standard output is a terminal ($COLUMNS
 * first), else 0: no limit. */
std::size_t terminal_width();

/* Standard output as a sink for long answers; a failed write is found by
 * main's check of standard output at exit. */
TextSink standard_output();

/* The text a view may lack, or `missing` in its place: a view into either,
 * valid as long as both are. */
inline std::string_view text_or(const std::optional<std::string>& text, std::string_view missing)
{
    return text ? std::string_view(*text) : missing;
}

/* One cell of a table: a text (which must outlive the add() call) or a
 * whole number. */
class Cell {
public:
    Cell(std::string_view text) : text_(text) {}
    Cell(const std::string& text) : text_(text) {}
    Cell(const char* text) : text_(text) {}
    Cell(std::size_t number) : number_(std::in_place, number) {}
    Cell(long number) : number_(std::in_place, number) {}
    std::string_view text() const { return number_ ? number_->view() : text_; }

private:
    std::string_view text_;
    std::optional<Decimal> number_;
};

/* A table printed with its columns aligned: numeric columns to the right,
 * text to the left, two spaces apart. When `max_width` is not 0 the widest
 * text columns are cut (with "…") until a row fits.
 *
 * The rows are not kept: `rows(table)` adds them with add(), and is
 * called twice, once to measure the columns and once to write the rows
 * as they come, so a table of 100,000 rows costs little more than its
 * text. `rows` must add the same rows both times. */
class Table {
public:
    using Rows = std::function<void(Table&)>;

    /* Headings; a heading starting with '>' makes a right-aligned column
     * (the '>' is not printed). */
    explicit Table(std::vector<std::string> headings);

    /* Adds a row; missing cells at its end are empty, extra ones ignored.
     * Called only by `rows`. */
    void add(std::initializer_list<Cell> row);

    /* Writes the headings and the rows of `rows` into `out`. */
    void render(std::size_t max_width, const Rows& rows, TextSink& out);
    std::string render(std::size_t max_width, const Rows& rows);
    /* render(terminal_width()) to standard output. */
    void print(const Rows& rows);

private:
    void measure(std::span<const std::string_view> row);
    void write(std::span<const std::string_view> row);
    void narrow(std::size_t max_width);

    std::size_t columns_ = 0;
    std::vector<char> right_;           /* per column: aligned to the right */
    std::vector<std::string> headings_; /* without their '>' */
    std::vector<std::size_t> widths_;   /* each column's widest cell */
    std::vector<std::string_view> row_; /* the row being added */
    TextSink* out_ = nullptr;           /* while writing; null while measuring */
};

/* Prints, as the views come, the JSON array of `view(record)` for each of
 * `records` (json_text.hpp). */
template <typename Records, typename MakeView>
void print_json_array(const Records& records, MakeView view)
{
    TextSink out = standard_output();
    JsonArray array(out);
    for (const auto& record : records)
        array.add(view(record));
    array.close();
}

/* Prints `text` as it stands (JSON written by the engine's views). */
void print_text(const std::string& text);

/* Prints `value` indented by two, with a final newline. */
void print_json(const nlohmann::json& value);

/* Prints "label: value" lines with the values aligned. */
void print_fields(const std::vector<std::pair<std::string, std::string>>& fields);

} // namespace desk

#endif
