/*
 * spreadsheet.cpp - reading the CSV files spreadsheets write, and writing
 * rows for them. See spreadsheet.hpp for the rules.
 */
#include "spreadsheet.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "text.hpp"
#include "words.hpp"

namespace desk::sheet {
namespace {

constexpr std::array<char, 3> kDelimiters = {',', ';', '\t'};

/* Windows-1252 code points of the bytes 0x80 to 0x9F; the rest of the code
 * page equals Latin-1. Unassigned bytes keep their own value. */
constexpr std::array<char16_t, 32> kHigh1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

/* Appends the UTF-8 form of a code point below U+10000. */
void append_utf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

/*
 * The delimiter the header row uses most, counted outside quotes over the
 * first line that holds anything; ties go to the comma, then the
 * semicolon. A header with none of them is read as comma-separated.
 */
char detect_delimiter(std::string_view text)
{
    std::array<std::size_t, kDelimiters.size()> counts{};
    bool quoted = false, seen = false;
    for (char c : text) {
        if (c == '"')
            quoted = !quoted;
        if (quoted)
            continue;
        if ((c == '\n' || c == '\r') && seen)
            break;
        if (c != '\n' && c != '\r' && c != ' ')
            seen = true;
        for (std::size_t i = 0; i < kDelimiters.size(); ++i)
            if (c == kDelimiters[i])
                ++counts[i];
    }
    std::size_t best = 0;
    for (std::size_t i = 1; i < counts.size(); ++i)
        if (counts[i] > counts[best])
            best = i;
    return kDelimiters[best];
}

using words::first_marked;
using words::kEachByte;
using words::load8;
using words::zero_bytes;

/* How many bytes `marks` marks: each mark brought down to a 1 in its
 * byte, the bytes summed into the top one by one multiplication (no
 * population count instruction is assumed). */
std::size_t count_marked(std::uint64_t marks)
{
    return static_cast<std::size_t>(((marks >> 7) * kEachByte) >> 56);
}

/* The LF bytes of `text`, eight bytes at a time. */
std::size_t count_lf(std::string_view text)
{
    std::size_t count = 0, at = 0;
    for (; at + 8 <= text.size(); at += 8)
        count += count_marked(zero_bytes(load8(text.data() + at) ^ kEachByte * '\n'));
    return count + static_cast<std::size_t>(std::count(text.begin() + at, text.end(), '\n'));
}

} // namespace

std::size_t plain_end(std::string_view text, std::size_t at, char delimiter)
{
    const std::uint64_t delimiters = kEachByte * static_cast<unsigned char>(delimiter);
    for (; at + 8 <= text.size(); at += 8) {
        const std::uint64_t word = load8(text.data() + at);
        const std::uint64_t stops = zero_bytes(word ^ delimiters) |
                                    zero_bytes(word ^ kEachByte * '\n') |
                                    zero_bytes(word ^ kEachByte * '\r');
        if (stops != 0)
            return at + first_marked(stops);
    }
    while (at < text.size() && text[at] != delimiter && text[at] != '\n' && text[at] != '\r')
        ++at;
    return at;
}

namespace {

/* Walks the text row by row, keeping the line number of its position. */
class Reader {
public:
    Reader(std::string_view text, char delimiter) : text_(text), delimiter_(delimiter) {}

    bool at_end() const { return pos_ >= text_.size(); }
    std::size_t line() const { return line_; }

    /* Reads the next row into the sheet. Returns false when a quoted cell
     * never closes (the sheet's open row then names its first line). */
    bool next(Sheet& sheet)
    {
        sheet.begin_row(line_);
        std::string& out = sheet.text();
        for (;;) {
            const std::size_t start = out.size();
            if (pos_ < text_.size() && text_[pos_] == '"') {
                ++pos_;
                if (!read_quoted(out))
                    return false;
            }
            read_plain(out);
            sheet.end_cell(start);
            if (at_end())
                return true;
            if (text_[pos_] != delimiter_) {
                skip_line_end();
                return true;
            }
            ++pos_;
        }
    }

private:
    /* Appends a quoted cell's text up to its closing quote, undoubling
     * quotes. False when no closing quote comes. */
    bool read_quoted(std::string& cell)
    {
        for (;;) {
            const std::size_t quote = text_.find('"', pos_);
            if (quote == std::string_view::npos)
                return false;
            const std::string_view chunk = text_.substr(pos_, quote - pos_);
            count_lines(chunk);
            cell += chunk;
            pos_ = quote + 1;
            if (pos_ >= text_.size() || text_[pos_] != '"')
                return true;
            cell += '"';
            ++pos_;
        }
    }

    /* Appends unquoted text up to the next delimiter or line end. */
    void read_plain(std::string& cell)
    {
        const std::size_t start = pos_;
        pos_ = plain_end(text_, pos_, delimiter_);
        cell.append(text_, start, pos_ - start);
    }

    /* Consumes one LF, CR LF or lone CR. */
    void skip_line_end()
    {
        if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n')
            ++pos_;
        ++pos_;
        ++line_;
    }

    /* Counts the line ends inside a quoted cell (CR LF once). */
    void count_lines(std::string_view chunk)
    {
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            if (chunk[i] == '\n')
                ++line_;
            else if (chunk[i] == '\r' && (i + 1 >= chunk.size() || chunk[i + 1] != '\n'))
                ++line_;
        }
    }

    std::string_view text_;
    char delimiter_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
};

/* True when a cell must be quoted to read back as itself. */
/* True when `cell` must be quoted: it holds a delimiter, a quote or a line
 * break, or begins or ends with a blank the import would trim (a cell
 * written after a shielding apostrophe begins with that). */
bool needs_quotes(std::string_view cell, bool shielded)
{
    for (char c : cell)
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    if (cell.empty())
        return false;
    bool blank_front = !shielded && (cell.front() == ' ' || cell.front() == '\t');
    return blank_front || cell.back() == ' ' || cell.back() == '\t';
}

/* How write_row writes a cell: after a shielding apostrophe, in quotes. */
struct CellForm {
    bool shielded, quoted;
};

CellForm form_of(std::string_view cell, std::size_t row_cells, const WriteOptions& options)
{
    const bool shielded = options.excel && runs_as_formula(cell);
    return {shielded, needs_quotes(cell, shielded) || (cell.empty() && row_cells == 1)};
}

/* Writes `cell` in `form` at `at`; the end of what it wrote. */
char* write_cell(char* at, std::string_view cell, CellForm form)
{
    if (form.quoted)
        *at++ = '"';
    if (form.shielded)
        *at++ = '\'';
    if (!form.quoted)
        return std::copy(cell.begin(), cell.end(), at);
    for (char c : cell) {
        if (c == '"')
            *at++ = '"'; /* a quote inside quotes is doubled */
        *at++ = c;
    }
    *at++ = '"';
    return at;
}

/* Bytes that put a cell in quotes wherever they stand. */
constexpr std::array<bool, 256> kQuoted = [] {
    std::array<bool, 256> quoted{};
    for (char c : {',', '"', '\r', '\n'})
        quoted[static_cast<unsigned char>(c)] = true;
    return quoted;
}();

/* True when any of the eight bytes of `word` is `byte`: the bytes of
 * word ^ byte-in-every-byte, less one each, borrow into a top bit only
 * below a byte that was zero. */
constexpr bool holds(std::uint64_t word, unsigned char byte)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    const std::uint64_t x = word ^ (kOnes * byte);
    return ((x - kOnes) & ~x & (kOnes * 0x80u)) != 0;
}

/* Writes `cell` as it stands at `at` when it needs neither quotes nor a
 * shield, the usual case, checking as it copies (eight bytes at a time
 * while eight are left): the end of what it wrote, or null (nothing to
 * keep) when it needs either. */
char* plain_cell(char* at, std::string_view cell, std::size_t row_cells,
                 const WriteOptions& options)
{
    if (cell.empty())
        return row_cells == 1 ? nullptr : at;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (blank(cell.front()) || blank(cell.back()) || (options.excel && runs_as_formula(cell)))
        return nullptr;
    std::size_t i = 0;
    for (; i + 8 <= cell.size(); i += 8, at += 8) {
        std::uint64_t word;
        std::memcpy(&word, cell.data() + i, 8);
        if (holds(word, ',') || holds(word, '"') || holds(word, '\r') || holds(word, '\n'))
            return nullptr;
        std::memcpy(at, &word, 8);
    }
    for (; i < cell.size(); ++i) {
        if (kQuoted[static_cast<unsigned char>(cell[i])])
            return nullptr;
        *at++ = cell[i];
    }
    return at;
}

} // namespace

std::string from_1252(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 && byte < 0xA0)
            append_utf8(out, kHigh1252[byte - 0x80u]);
        else
            append_utf8(out, byte);
    }
    return out;
}

Sheet parse(std::string_view bytes)
{
    Sheet result;
    if (bytes.starts_with(kUtf8Bom))
        bytes.remove_prefix(kUtf8Bom.size());
    std::string converted;
    if (!text::is_utf8(bytes)) {
        converted = from_1252(bytes);
        bytes = converted;
        result.converted_from_1252 = true;
    }
    result.holds_nul = bytes.find('\0') != std::string_view::npos;
    result.delimiter = detect_delimiter(bytes);
    /* Room for every row at the header's width, so nothing is moved while
     * reading: one line a row and one cell a delimiter, roughly. */
    const std::string_view header = bytes.substr(0, bytes.find('\n'));
    const std::size_t rows = count_lf(bytes) + 1;
    const auto width =
        static_cast<std::size_t>(std::count(header.begin(), header.end(), result.delimiter)) + 1;
    result.reserve(bytes.size(), rows, rows * width);
    Reader reader(bytes, result.delimiter);
    while (!reader.at_end()) {
        const std::size_t line = reader.line();
        if (!reader.next(result)) {
            result.drop_row();
            result.unclosed_quote_line = line;
            break;
        }
        result.end_row();
    }
    return result;
}

std::string_view Sheet::cell(std::size_t row, std::size_t column) const
{
    if (column >= rows_[row].count)
        return {};
    const auto [offset, length] = cells_[rows_[row].first + column];
    return std::string_view(text_).substr(offset, length);
}

std::vector<std::string> Sheet::cells(std::size_t row) const
{
    std::vector<std::string> out;
    for (std::size_t c = 0; c < width(row); ++c)
        out.emplace_back(cell(row, c));
    return out;
}

void Sheet::reserve(std::size_t text, std::size_t rows, std::size_t cells)
{
    text_.reserve(text);
    rows_.reserve(rows);
    cells_.reserve(cells);
}

void Sheet::begin_row(std::size_t line)
{
    open_ = {line, cells_.size(), 0, text_.size()};
}

void Sheet::end_row()
{
    open_.count = cells_.size() - open_.first;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (std::all_of(text_.begin() + static_cast<std::ptrdiff_t>(open_.text_start), text_.end(),
                    blank))
        drop_row();
    else
        rows_.push_back(open_);
}

void Sheet::drop_row()
{
    cells_.resize(open_.first);
    text_.resize(open_.text_start);
}

std::optional<std::string> read_file(const std::string& path, std::string& error)
{
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    errno = 0;
    std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = errno != 0 ? std::strerror(errno) : "cannot be opened";
        return std::nullopt;
    }
    std::string bytes;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) {
        const long size = std::ftell(file.get());
        if (size > 0)
            bytes.reserve(static_cast<std::size_t>(size));
        std::rewind(file.get());
    }
    std::array<char, 1 << 16> block{};
    std::size_t got = 0;
    while ((got = std::fread(block.data(), 1, block.size(), file.get())) > 0)
        bytes.append(block.data(), got);
    if (std::ferror(file.get()) != 0) {
        error = "read error";
        return std::nullopt;
    }
    return bytes;
}

bool runs_as_formula(std::string_view cell)
{
    if (cell.empty())
        return false;
    if (cell.front() == '\t' || cell.front() == '\r') /* stripped, then what follows runs */
        return cell.find_first_not_of(" \t\r\n") != std::string_view::npos;
    return std::string_view("=+-@").find(cell.front()) != std::string_view::npos;
}

std::string_view unshield(std::string_view cell)
{
    return cell.size() > 1 && cell.front() == '\'' && runs_as_formula(cell.substr(1))
               ? cell.substr(1)
               : cell;
}

void write_row(TextSink& out, std::span<const std::string_view> cells, const WriteOptions& options)
{
    const std::string_view line_end = options.excel ? "\r\n" : "\n";
    /* Room for the worst case: every cell quoted, shielded, all quotes. */
    std::size_t room = line_end.size() + cells.size();
    for (std::string_view cell : cells)
        room += 2 * cell.size() + 3;
    char* at = out.room(room);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0)
            *at++ = ',';
        char* plain = plain_cell(at, cells[i], cells.size(), options);
        at = plain != nullptr ? plain
                              : write_cell(at, cells[i], form_of(cells[i], cells.size(), options));
    }
    out.commit(std::copy(line_end.begin(), line_end.end(), at));
}

void write_row(TextSink& out, std::initializer_list<std::string_view> cells,
               const WriteOptions& options)
{
    write_row(out, std::span<const std::string_view>(cells.begin(), cells.size()), options);
}

} // namespace desk::sheet
