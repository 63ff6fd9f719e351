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

Table::Table(std::vector<std::string> headings)
{
    for (std::string& heading : headings) {
        bool right = !heading.empty() && heading[0] == '>';
        right_.push_back(right);
        headings_.push_back(right ? heading.substr(1) : heading);
    }
}

void Table::add(std::vector<std::string> row)
{
    row.resize(headings_.size());
    rows_.push_back(std::move(row));
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
            if (!right_[c] &&
                widths[c] > std::max<std::size_t>(8, text::display_width(headings_[c])) &&
                (widest == n || widths[c] > widths[widest]))
                widest = c;
        if (widest == n)
            break;
        --widths[widest];
        --total;
    }
}

/* Appends one row, each cell padded (or cut) to its column's width;
 * `measured` holds the cells' own widths. */
void Table::render_row(std::string& out, const std::vector<std::string>& cells,
                       const std::size_t* measured, const std::vector<std::size_t>& widths) const
{
    std::size_t start = out.size(), n = widths.size();
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t width = measured[c];
        std::string cut;
        if (width > widths[c]) {
            cut = text::cut_to_width(cells[c], widths[c]);
            width = text::display_width(cut);
        }
        std::size_t gap = widths[c] - width;
        if (right_[c])
            pad(out, gap);
        out += width == measured[c] ? cells[c] : cut;
        if (c + 1 < n)
            pad(out, (right_[c] ? 0 : gap) + 2);
    }
    while (out.size() > start && out.back() == ' ') /* an empty last cell */
        out.pop_back();
    out += '\n';
}

std::string Table::render(std::size_t max_width) const
{
    std::size_t n = headings_.size();
    std::vector<std::size_t> widths(n, 0), measured;
    measured.reserve((rows_.size() + 1) * n);
    auto measure = [&](const std::vector<std::string>& cells) {
        for (std::size_t c = 0; c < n; ++c) {
            measured.push_back(text::display_width(cells[c]));
            widths[c] = std::max(widths[c], measured.back());
        }
    };
    measure(headings_);
    for (const auto& row : rows_)
        measure(row);
    narrow(widths, max_width);
    std::string out;
    render_row(out, headings_, measured.data(), widths);
    for (std::size_t r = 0; r < rows_.size(); ++r)
        render_row(out, rows_[r], measured.data() + (r + 1) * n, widths);
    return out;
}

void Table::print() const
{
    std::fputs(render(terminal_width()).c_str(), stdout);
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
