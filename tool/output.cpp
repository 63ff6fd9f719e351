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
    row_.assign(headings.begin(), headings.end());
    add_row();
}

void Table::add(std::initializer_list<Cell> row)
{
    row_.clear();
    for (const Cell& cell : row)
        if (row_.size() < columns_)
            row_.push_back(cell.text());
    row_.resize(columns_);
    add_row();
}

/* Adds the cells in row_, their texts one after another. */
void Table::add_row()
{
    const std::size_t first = measures_.size();
    std::size_t bytes = 0;
    for (std::size_t column = 0; column < columns_; ++column) {
        /* No cell of a record comes near 4 GiB; one that did is cut there. */
        std::string_view text = row_[column];
        if (text.size() > UINT32_MAX)
            text = text.substr(0, UINT32_MAX);
        const std::size_t width = std::min<std::size_t>(text::display_width(text), UINT32_MAX);
        measures_.push_back(
            {static_cast<std::uint32_t>(text.size()), static_cast<std::uint32_t>(width)});
        widths_[column] = std::max(widths_[column], width);
        bytes += text.size();
    }
    const std::size_t start = text_.size();
    text_.resize(start + bytes);
    char* end = text_.data() + start;
    for (std::size_t column = 0; column < columns_; ++column)
        end = std::copy_n(row_[column].data(), measures_[first + column].bytes, end);
}

/* Narrows the widest text column, a column at a time, until the row fits
 * `max_width` (no text column below its heading or 8 columns). */
void Table::narrow(std::vector<std::size_t>& widths, std::size_t max_width) const
{
    std::size_t n = widths.size();
    std::size_t total = 2 * (n - 1);
    for (std::size_t w : widths)
        total += w;
    while (max_width != 0 && total > max_width) {
        std::size_t widest = n;
        for (std::size_t c = 0; c < n; ++c)
            if (!right_[c] && widths[c] > std::max<std::size_t>(8, measures_[c].width) &&
                (widest == n || widths[c] > widths[widest]))
                widest = c;
        if (widest == n)
            break;
        --widths[widest];
        --total;
    }
}

/* Appends the row whose cells start with cell `at`, their text at
 * `first` in text_, each padded (or cut) to its column's width; the
 * bytes of text the row took. */
std::size_t Table::render_row(TextSink& out, std::size_t at, std::size_t first,
                              const std::vector<std::size_t>& widths) const
{
    /* Room for every cell, its padding, a cut's "…" and the gaps. */
    std::size_t room = 1;
    for (std::size_t c = 0; c < columns_; ++c)
        room += measures_[at + c].bytes + widths[c] + 4;
    char* const begin = out.room(room);
    char* end = begin;
    std::size_t taken = 0;
    for (std::size_t c = 0; c < columns_; ++c, ++at) {
        std::string_view shown(text_.data() + first + taken, measures_[at].bytes);
        taken += shown.size();
        std::size_t width = measures_[at].width;
        std::string cut;
        if (width > widths[c]) {
            cut = text::cut_to_width(shown, widths[c]);
            shown = cut;
            width = text::display_width(cut);
        }
        const std::size_t gap = widths[c] - width;
        const std::size_t before = right_[c] ? gap : 0;
        const std::size_t after = c + 1 == columns_ ? 0 : right_[c] ? 2 : gap + 2;
        end = std::fill_n(end, before, ' ');
        end = std::copy(shown.begin(), shown.end(), end);
        end = std::fill_n(end, after, ' ');
    }
    while (end > begin && end[-1] == ' ') /* an empty last cell */
        --end;
    *end++ = '\n';
    out.commit(end);
    return taken;
}

void Table::render(std::size_t max_width, TextSink& out) const
{
    std::vector<std::size_t> widths = widths_;
    narrow(widths, max_width);
    std::size_t first = 0;
    for (std::size_t row = 0; row * columns_ < measures_.size(); ++row) {
        first += render_row(out, row * columns_, first, widths);
        out.flush_if_full();
    }
    out.flush();
}

std::string Table::render(std::size_t max_width) const
{
    return collected([&](TextSink& out) { render(max_width, out); });
}

void Table::print() const
{
    TextSink out = standard_output();
    render(terminal_width(), out);
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
