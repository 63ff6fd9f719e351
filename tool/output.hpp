/*
 * output.hpp - what the desk prints: aligned tables that fit the terminal
 * (widths counted in terminal columns, text::display_width, so wide and
 * accented titles line up), JSON for scripts, and field listings for one
 * record.
 */
#ifndef LENDREC_TOOL_OUTPUT_HPP
#define LENDREC_TOOL_OUTPUT_HPP

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
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
 * text columns are cut (with "…") until a row fits. The cells are kept
 * one after another in one text, so a table of 100,000 rows costs little
 * more than its text. */
class Table {
public:
    /* Headings; a heading starting with '>' makes a right-aligned column
     * (the '>' is not printed). */
    explicit Table(std::vector<std::string> headings);
    /* Adds a row; missing cells at its end are empty, extra ones ignored. */
    void add(std::initializer_list<Cell> row);
    bool empty() const { return measures_.size() == columns_; } /* the headings alone */
    std::string render(std::size_t max_width) const;
    /* Writes the table, rows as they are rendered, into `out`. */
    void render(std::size_t max_width, TextSink& out) const;
    /* render(terminal_width()) to standard output. */
    void print() const;

private:
    /* A cell's size in bytes and its width in terminal columns. */
    struct Measure {
        std::uint32_t bytes, width;
    };

    void add_row();
    void narrow(std::vector<std::size_t>& widths, std::size_t max_width) const;
    std::size_t render_row(TextSink& out, std::size_t at, std::size_t first,
                           const std::vector<std::size_t>& widths) const;

    std::size_t columns_ = 0;
    std::vector<char> right_; /* per column: aligned to the right */
    /* The headings', then every row's cells, one after another. */
    std::string text_;
    std::vector<Measure> measures_;
    std::vector<std::string_view> row_; /* the row being added */
    std::vector<std::size_t> widths_;   /* each column's widest cell */
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
