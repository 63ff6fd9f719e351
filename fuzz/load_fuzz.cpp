/*
 * load_fuzz.cpp - any bytes as a record file of one kind (LENDREC_FUZZ_KIND:
 * books, users or loans), loaded by the plain and by the reporting loader.
 * Loading must not crash; every record must hold its kind's invariants; both
 * loaders must give the same records and trailer; the problems are told in
 * file order; and every line before the trailer is accounted for: it became
 * a record or was told refused, nothing vanishes without a word.
 */
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"

/* The oracle's own reading of the file is left out of the coverage that
 * steers the fuzzer, and costs no comparison tracing. */
#define FUZZ_ORACLE __attribute__((no_sanitize("coverage")))

namespace {

/* The problems a reporting load told, tallied. */
struct Told {
    size_t refused = 0;
    size_t ignored = 0;
    size_t last_line = 0;
};

void tally(size_t line, serializer_problem_t kind, const char* cause, void* args)
{
    auto* told = static_cast<Told*>(args);
    FUZZ_CHECK(cause != nullptr && *cause != '\0');
    FUZZ_CHECK(line >= told->last_line);
    FUZZ_CHECK(kind == SERIALIZER_REFUSED || kind == SERIALIZER_CHANGED ||
               kind == SERIALIZER_IGNORED);
    told->last_line = line;
    told->refused += kind == SERIALIZER_REFUSED ? 1 : 0;
    told->ignored += kind == SERIALIZER_IGNORED ? 1 : 0;
}

/* The index of the quote closing a quoted field whose text starts at
 * `from` (a doubled quote is part of the text), or npos. */
FUZZ_ORACLE size_t closing_quote(std::string_view text, size_t from)
{
    for (size_t i = text.find('"', from); i != text.npos; i = text.find('"', i + 2)) {
        if (i + 1 >= text.size() || text[i + 1] != '"')
            return i;
    }
    return text.npos;
}

/* Where the record that starts at `p` ends: at its line end (LF, CR LF, or
 * a CR that ends the file) outside quotes. A quote that never closes ends
 * the record with the line where it opened. */
FUZZ_ORACLE size_t record_end(std::string_view text, size_t p)
{
    bool field_start = true;
    for (size_t i = p; i < text.size(); ++i) {
        const char c = text[i];
        if (field_start && c == '"') {
            const size_t close = closing_quote(text, i + 1);
            if (close == text.npos) {
                const size_t lf = text.find('\n', i);
                return lf == text.npos ? text.size() : lf;
            }
            i = close;
            field_start = false;
            continue;
        }
        if (c == '\n')
            return i > p && text[i - 1] == '\r' ? i - 1 : i;
        if (c == '\r' && i + 1 == text.size())
            return i;
        field_start = c == ',';
    }
    return text.size();
}

/* Past the line end at `end`. */
FUZZ_ORACLE size_t past_line_end(std::string_view text, size_t end)
{
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
        return end + 2;
    return end + 1;
}

FUZZ_ORACLE bool all_digits(std::string_view line)
{
    return !line.empty() && line.find_first_not_of("0123456789") == line.npos;
}

/* True when the digits are a number beyond size_t. */
FUZZ_ORACLE bool beyond_size_t(std::string_view digits)
{
    const std::string top = std::to_string(SIZE_MAX);
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    return digits.size() > top.size() || (digits.size() == top.size() && digits > top);
}

/* An independent reading of the file: how many records stand before the
 * trailer (lines holding anything but a line end), whether there is one,
 * and whether it is beyond size_t (told refused). */
struct Lines {
    size_t records = 0;
    bool trailer = false;
    bool trailer_too_large = false;
};

FUZZ_ORACLE Lines read_lines(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    Lines lines;
    for (size_t p = 0; p < text.size();) {
        const size_t end = record_end(text, p);
        const std::string_view line = text.substr(p, end - p);
        p = past_line_end(text, end);
        if (all_digits(line)) {
            lines.trailer = true;
            lines.trailer_too_large = beyond_size_t(line);
            break;
        }
        lines.records += line.empty() ? 0 : 1;
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const fuzz::ScratchFile file(LENDREC_FUZZ_KIND_NAME);
    const fuzz::Kind& kind = fuzz::LENDREC_FUZZ_KIND();
    file.write(data, size);

    fuzz::Records plain(kind);
    const size_t plain_id = kind.record.load(file.path(), plain.get());

    fuzz::Records reported(kind);
    Told told;
    FUZZ_CHECK(kind.record.load_reporting(file.path(), reported.get(), tally, &told) == plain_id);
    FUZZ_CHECK(plain.contents() == reported.contents());

    /* "no trailer" is told refused where the trailer should stand, and a
     * trailer beyond size_t where it stands. */
    const Lines lines = read_lines({reinterpret_cast<const char*>(data), size});
    const size_t records = list_size(reported.get());
    FUZZ_CHECK(told.refused == lines.records - records + (lines.trailer ? 0 : 1) +
                                   (lines.trailer_too_large ? 1 : 0));
    FUZZ_CHECK(lines.trailer || (plain_id == 1 && told.ignored == 0));
    FUZZ_CHECK(told.ignored <= 1);
    return 0;
}
