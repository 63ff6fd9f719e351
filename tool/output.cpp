/*
 * output.cpp - tables, JSON and field listings.
 */
#include "output.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "text.hpp"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace desk {

namespace {

void pad(std::string& out, std::size_t count)
{
    out.append(count, ' ');
}

} // namespace

std::size_t terminal_width()
{
    if (const char* columns = std::getenv("COLUMNS")) {
        long value = std::strtol(columns, nullptr, 10);
        if (value > 0)
            return static_cast<std::size_t>(value);
    }
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (_isatty(_fileno(stdout)) &&
        GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
        return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
#else
    winsize size{};
    if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    return 0;
}

TextSink standard_output()
{
    return TextSink(
        [](std::string_view piece) { std::fwrite(piece.data(), 1, piece.size(), stdout); });
}

Table::Table(std::vector<std::string> headings) : columns_(headings.size()), widths_(columns_, 0)
{
    for (std::string& heading : headings) {
        const bool right = !heading.empty() && heading[0] == '>';
        right_.push_back(right);
        if (right)
            heading.erase(0, 1);
    }
    headings_ = std::move(headings);
    row_.resize(columns_);
}

void Table::add(std::initializer_list<Cell> cells)
{
    std::fill(row_.begin(), row_.end(), std::string_view{});
    std::size_t column = 0;
    for (const Cell& cell : cells)
        if (column < columns_)
            row_[column++] = cell.text();
    if (out_ == nullptr)
        measure(row_);
    else
        write(row_);
}

void Table::measure(std::span<const std::string_view> row)
{
    /* A text is never wider than its bytes: only one longer than its
     * column so far can widen it. */
    for (std::size_t c = 0; c < columns_; ++c)
        if (row[c].size() > widths_[c])
            widths_[c] = std::max(widths_[c], text::display_width(row[c]));
}

/* Narrows the widest text column, a column at a time, until a row fits
 * `max_width` (no text column below its heading or 8 columns). */
void Table::narrow(std::size_t max_width)
{
    std::size_t total = 2 * (columns_ - 1);
    for (std::size_t w : widths_)
        total += w;
    while (max_width != 0 && total > max_width) {
        std::size_t widest = columns_;
        for (std::size_t c = 0; c < columns_; ++c)
            if (!right_[c] &&
                widths_[c] > std::max<std::size_t>(8, text::display_width(headings_[c])) &&
                (widest == columns_ || widths_[c] > widths_[widest]))
                widest = c;
        if (widest == columns_)
            break;
        --widths_[widest];
        --total;
    }
}

/* Writes one row, each cell padded (or cut) to its column's width. */
void Table::write(std::span<const std::string_view> row)
{
    /* Room for every cell, its padding, a cut's "…" and the gaps. */
    std::size_t room = 1;
    for (std::size_t c = 0; c < columns_; ++c)
        room += row[c].size() + widths_[c] + 4;
    char* const begin = out_->room(room);
    char* end = begin;
    for (std::size_t c = 0; c < columns_; ++c) {
        std::string_view shown = row[c];
        std::size_t width = text::display_width(shown);
        std::string cut;
        if (width > widths_[c]) {
            cut = text::cut_to_width(shown, widths_[c]);
            shown = cut;
            width = text::display_width(cut);
        }
        const std::size_t gap = widths_[c] - width;
        const std::size_t before = right_[c] ? gap : 0;
        const std::size_t after = c + 1 == columns_ ? 0 : right_[c] ? 2 : gap + 2;
        end = std::fill_n(end, before, ' ');
        end = std::copy(shown.begin(), shown.end(), end);
        end = std::fill_n(end, after, ' ');
    }
    while (end > begin && end[-1] == ' ') /* an empty last cell */
        --end;
    *end++ = '\n';
    out_->commit(end);
    out_->flush_if_full();
}

void Table::render(std::size_t max_width, const Rows& rows, TextSink& out)
{
    const std::vector<std::string_view> headings(headings_.begin(), headings_.end());
    measure(headings);
    rows(*this);
    narrow(max_width);
    out_ = &out;
    write(headings);
    rows(*this);
    out_ = nullptr;
    out.flush();
}

std::string Table::render(std::size_t max_width, const Rows& rows)
{
    return collected([&](TextSink& out) { render(max_width, rows, out); });
}

void Table::print(const Rows& rows)
{
    TextSink out = standard_output();
    render(terminal_width(), rows, out);
}

void print_text(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void print_json(const nlohmann::json& value)
{
    std::string text = value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::printf("%s\n", text.c_str());
}

void print_fields(const std::vector<std::pair<std::string, std::string>>& fields)
{
    std::size_t width = 0;
    for (const auto& field : fields)
        width = std::max(width, text::display_width(field.first));
    for (const auto& [label, value] : fields) {
        std::string line = label + ":";
        pad(line, width - text::display_width(label) + 1);
        std::printf("%s%s\n", line.c_str(), value.c_str());
    }
}

} // namespace desk
