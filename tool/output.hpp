/*
 * output.hpp - what the desk prints: aligned tables that fit the terminal
 * (widths counted in terminal columns, text::display_width, so wide and
 * accented titles line up), JSON for scripts, and field listings for one
 * record.
 */
#ifndef LENDREC_TOOL_OUTPUT_HPP
#define LENDREC_TOOL_OUTPUT_HPP

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace desk {

/* The terminal's width when standard output is a terminal ($COLUMNS
 * first), else 0: no limit. */
std::size_t terminal_width();

/* A table printed with its columns aligned: numeric columns to the right,
 * text to the left, two spaces apart. When `max_width` is not 0 the widest
 * text columns are cut (with "…") until a row fits. */
class Table {
public:
    /* Headings; a heading starting with '>' makes a right-aligned column
     * (the '>' is not printed). */
    explicit Table(std::vector<std::string> headings);
    void add(std::vector<std::string> row);
    bool empty() const { return rows_.empty(); }
    std::string render(std::size_t max_width) const;
    /* render(terminal_width()) to standard output. */
    void print() const;

private:
    void narrow(std::vector<std::size_t>& widths, std::size_t max_width) const;
    void render_row(std::string& out, const std::vector<std::string>& cells,
                    const std::size_t* measured, const std::vector<std::size_t>& widths) const;

    std::vector<std::string> headings_;
    std::vector<bool> right_;
    std::vector<std::vector<std::string>> rows_;
};

/* Prints `text` as it stands (JSON written by the engine's views). */
void print_text(const std::string& text);

/* Prints `value` indented by two, with a final newline. */
void print_json(const nlohmann::json& value);

/* Prints "label: value" lines with the values aligned. */
void print_fields(const std::vector<std::pair<std::string, std::string>>& fields);

} // namespace desk

#endif
