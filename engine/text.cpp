/*
 * text.cpp - record text checked and cleaned, search keys, terminal widths.
 * ASCII, the bulk of every library, is handled byte by byte here; utf8proc
 * is called only for the runs of other characters.
 */
#include "text.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <utf8proc.h>

#include "words.hpp"

namespace desk::text {
namespace {

using Code = utf8proc_int32_t;

/* One character of a text: its code point and its length in bytes; a byte
 * that starts no well-formed sequence is a character of its own, invalid. */
struct Char {
    Code code = 0;
    std::size_t length = 1;
    bool valid = false;
};

bool is_ascii(unsigned char byte)
{
    return byte < 0x80;
}

using words::kEachByte;
using words::load8;

/* True when the eight bytes at `p` are all ASCII. */
bool is_ascii8(const char* p)
{
    return (load8(p) & kEachByte * 0x80) == 0;
}

/* True when the 32 bytes at `p` are all ASCII: four words looked at
 * together, for the long runs of plain text in large files. */
bool is_ascii32(const char* p)
{
    return ((load8(p) | load8(p + 8) | load8(p + 16) | load8(p + 24)) & kEachByte * 0x80) == 0;
}

/* Where the run of ASCII bytes from `at` ends, eight bytes at a time
 * while they are all ASCII. */
std::size_t ascii_end(std::string_view text, std::size_t at)
{
    while (at + 8 <= text.size() && is_ascii8(text.data() + at))
        at += 8;
    while (at < text.size() && is_ascii(static_cast<unsigned char>(text[at])))
        ++at;
    return at;
}

/* Eight ASCII bytes with 'A' to 'Z' lowered, as one word: a byte's top
 * bit, set by adding, marks it at least 'A' and not past 'Z'. Adding less
 * than 0x80 to an ASCII byte never carries into the next byte. */
std::uint64_t lowered8(std::uint64_t word)
{
    const std::uint64_t from_a = word + kEachByte * std::uint64_t{0x80 - 'A'};
    const std::uint64_t past_z = word + kEachByte * std::uint64_t{0x80 - 'Z' - 1};
    return word | (from_a & ~past_z & kEachByte * 0x80) >> 2; /* 0x80 >> 2 is 'a' - 'A' */
}

/* Length of the UTF-8 sequence starting at `at`, or 0 when it is not a
 * well-formed one. */
std::size_t utf8_sequence(std::string_view bytes, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned lead = byte(at);
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF; /* allowed range of the second byte */
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; /* no overlong forms */
        if (lead == 0xED)
            high = 0x9F; /* no surrogates */
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F; /* nothing above U+10FFFF */
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    return length;
}

/* The character starting at `at` (below text.size()). */
Char char_at(std::string_view text, std::size_t at)
{
    static constexpr unsigned kLeadBits[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    const std::size_t length = utf8_sequence(text, at);
    if (length == 0)
        return {};
    auto code = static_cast<unsigned char>(text[at]) & kLeadBits[length];
    for (std::size_t i = 1; i < length; ++i)
        code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3Fu);
    return {static_cast<Code>(code), length, true};
}

constexpr auto kFoldOptions =
    static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPAT | UTF8PROC_COMPOSE |
                                   UTF8PROC_CASEFOLD | UTF8PROC_IGNORE | UTF8PROC_STRIPMARK);
constexpr auto kNfcOptions = static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE);

/* Appends well-formed UTF-8 `run` as utf8proc maps it with `options`. The
 * code points go through one buffer per thread, kept between calls. */
void append_mapped(std::string& out, std::string_view run, utf8proc_option_t options)
{
    thread_local std::vector<Code> buffer(256);
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(run.data());
    const auto size = static_cast<utf8proc_ssize_t>(run.size());
    /* utf8proc_reencode ends its output with a NUL: one code point spare. */
    const auto room = [&] { return static_cast<utf8proc_ssize_t>(buffer.size()) - 1; };
    utf8proc_ssize_t count = utf8proc_decompose(bytes, size, buffer.data(), room(), options);
    if (count > room()) {
        buffer.resize(static_cast<std::size_t>(count) + 1);
        count = utf8proc_decompose(bytes, size, buffer.data(), room(), options);
    }
    const utf8proc_ssize_t length =
        count < 0 ? count : utf8proc_reencode(buffer.data(), count, options);
    if (length < 0) {
        out += run; /* not reached for well-formed UTF-8 */
        return;
    }
    out.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(length));
}

/* Appends ASCII `run` with its capitals lowered. */
void append_lowered(std::string& out, std::string_view run)
{
    const std::size_t first = out.size();
    out += run;
    char* lowered = out.data() + first;
    std::size_t i = 0;
    for (; i + 8 <= run.size(); i += 8) {
        const std::uint64_t word = lowered8(load8(lowered + i));
        std::memcpy(lowered + i, &word, sizeof word);
    }
    for (; i < run.size(); ++i)
        if (lowered[i] >= 'A' && lowered[i] <= 'Z')
            lowered[i] = static_cast<char>(lowered[i] + ('a' - 'A'));
}

/* True for C0, DEL, C1 and the line and paragraph separators. */
bool is_control(const Char& c)
{
    if (c.code < 0x80)
        return c.code < 0x20 || c.code == 0x7F;
    const utf8proc_category_t category = utf8proc_category(c.code);
    return category == UTF8PROC_CATEGORY_CC || category == UTF8PROC_CATEGORY_ZL ||
           category == UTF8PROC_CATEGORY_ZP;
}

bool is_space(const Char& c)
{
    return c.code == ' ' || (c.code >= 0x80 && utf8proc_category(c.code) == UTF8PROC_CATEGORY_ZS);
}

/* True when well-formed `text` holds a control character. */
bool holds_control(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const Char c = char_at(text, at);
        if (is_control(c))
            return true;
        at += c.length;
    }
    return false;
}

/* Well-formed `text` without the space separators at either end. */
std::string_view trim_spaces(std::string_view text)
{
    std::size_t first = text.size(), end = 0;
    for (std::size_t at = 0; at < text.size();) {
        const Char c = char_at(text, at);
        if (!is_space(c)) {
            first = std::min(first, at);
            end = at + c.length;
        }
        at += c.length;
    }
    return first < end ? text.substr(first, end - first) : std::string_view();
}

/* The code points of well-formed `text`. */
std::size_t count_chars(std::string_view text)
{
    std::size_t count = 0;
    for (char byte : text)
        if ((static_cast<unsigned char>(byte) & 0xC0u) != 0x80u)
            ++count;
    return count;
}

/* Where the grapheme cluster starting at `at` ends: a character with the
 * marks and joiners that go with it, or one byte that is not UTF-8. */
std::size_t cluster_end(std::string_view text, std::size_t at)
{
    const Char first = char_at(text, at);
    if (!first.valid)
        return at + 1;
    utf8proc_int32_t state = 0;
    Code previous = first.code;
    std::size_t end = at + first.length;
    while (end < text.size()) {
        const Char next = char_at(text, end);
        if (!next.valid || utf8proc_grapheme_break_stateful(previous, next.code, &state))
            break;
        previous = next.code;
        end += next.length;
    }
    return end;
}

} // namespace

namespace {

/* The eight bytes of `text` from `at`, spaces standing in past its end. */
std::uint64_t word_at(std::string_view text, std::size_t at)
{
    if (at + 8 <= text.size())
        return load8(text.data() + at);
    std::uint64_t word = kEachByte * ' ';
    std::memcpy(&word, text.data() + at, text.size() - at);
    return word;
}

/* What one look at every byte of a text tells: whether it is all ASCII
 * and, if so, whether it holds a control character (C0 or DEL). */
struct AsciiScan {
    bool ascii, control;
};

/* Eight bytes at a time: in a word of ASCII bytes, subtracting n from each
 * byte sets the top bit of the first one below n, and no other top bit
 * when none is below n; DEL is the byte that xor 0x7F makes zero. */
AsciiScan scan_ascii(std::string_view text)
{
    std::uint64_t high = 0, control = 0;
    for (std::size_t at = 0; at < text.size(); at += 8) {
        const std::uint64_t word = word_at(text, at), del = word ^ kEachByte * 0x7F;
        high |= word;
        control |= ((word - kEachByte * 0x20) & ~word) | ((del - kEachByte) & ~del);
    }
    const std::uint64_t top = kEachByte * 0x80;
    return {(high & top) == 0, (control & top) != 0};
}

/* clean() of text all in ASCII, which is in NFC already and whose only
 * space separator is ' ': no character need be decoded. */
Clean clean_ascii(std::string_view text, bool control, std::size_t max_chars)
{
    if (control)
        return {{}, Fault::kControl};
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {{}, Fault::kBlank};
    const std::string_view trimmed = text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (trimmed.size() > max_chars)
        return {{}, Fault::kTooLong};
    return {std::string(trimmed), Fault::kNone};
}

} // namespace

Clean clean(std::string_view text, std::size_t max_chars)
{
    if (const AsciiScan scan = scan_ascii(text); scan.ascii)
        return clean_ascii(text, scan.control, max_chars);
    if (!is_utf8(text))
        return {{}, Fault::kNotUtf8};
    if (holds_control(text))
        return {{}, Fault::kControl};
    std::string normal;
    append_mapped(normal, text, kNfcOptions);
    const std::string_view trimmed = trim_spaces(normal);
    if (trimmed.empty())
        return {{}, Fault::kBlank};
    if (count_chars(trimmed) > max_chars)
        return {{}, Fault::kTooLong};
    return {std::string(trimmed), Fault::kNone};
}

std::string fault_sentence(Fault fault, std::string_view what, std::size_t max_chars)
{
    const std::string subject(what);
    switch (fault) {
    case Fault::kNone:
        return {};
    case Fault::kNotUtf8:
        return subject + " must be UTF-8 text";
    case Fault::kControl:
        return subject + " may not hold control characters (line breaks, tabs)";
    case Fault::kBlank:
        return subject + " may not be blank";
    case Fault::kTooLong:
        return subject + " may be at most " + std::to_string(max_chars) + " characters";
    }
    return {};
}

std::string fold(std::string_view text)
{
    std::string out;
    fold_into(out, text);
    return out;
}

/* ASCII is lowered here, each run of other well-formed characters mapped
 * by utf8proc. Cutting at ASCII changes nothing: no ASCII character
 * composes with what follows it once marks are stripped, nor reorders. */
void fold_into(std::string& out, std::string_view text)
{
    out.reserve(out.size() + text.size());
    const auto ascii_at = [&](std::size_t i) {
        return is_ascii(static_cast<unsigned char>(text[i]));
    };
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        at = ascii_end(text, at);
        append_lowered(out, text.substr(start, at - start));
        const std::size_t run = at;
        while (at < text.size() && !ascii_at(at)) {
            const std::size_t length = utf8_sequence(text, at);
            if (length == 0)
                break;
            at += length;
        }
        if (at > run)
            append_mapped(out, text.substr(run, at - run), kFoldOptions);
        else if (at < text.size() && !ascii_at(at))
            out += text[at++]; /* not UTF-8: kept */
    }
}

namespace {

/* The length of the letter or digit starting at `at` of `text`, or 0 when
 * something else starts there. */
std::size_t word_char(std::string_view text, std::size_t at)
{
    const auto byte = static_cast<unsigned char>(text[at]);
    if (is_ascii(byte))
        return static_cast<unsigned>(byte - 'a') < 26u || static_cast<unsigned>(byte - '0') < 10u ||
                       static_cast<unsigned>(byte - 'A') < 26u
                   ? 1
                   : 0;
    const Char c = char_at(text, at);
    if (!c.valid)
        return 0;
    const utf8proc_category_t category = utf8proc_category(c.code);
    const bool letter = category >= UTF8PROC_CATEGORY_LU && category <= UTF8PROC_CATEGORY_LO;
    const bool number = category >= UTF8PROC_CATEGORY_ND && category <= UTF8PROC_CATEGORY_NO;
    return letter || number ? c.length : 0;
}

/* The byte after the character at `at` (a byte that is not UTF-8 counts
 * as one). */
std::size_t next_char(std::string_view text, std::size_t at)
{
    return at + std::max<std::size_t>(1, utf8_sequence(text, at));
}

} // namespace

WordSpan next_word(std::string_view folded, std::size_t at)
{
    while (at < folded.size() && word_char(folded, at) == 0)
        at = next_char(folded, at);
    std::size_t end = at;
    for (std::size_t length; end < folded.size() && (length = word_char(folded, end)) != 0;)
        end += length;
    return {at, end};
}

bool starts_word(std::string_view folded, std::size_t at)
{
    if (at >= folded.size() || word_char(folded, at) == 0)
        return false;
    if (at == 0)
        return true;
    /* Back to where the character before starts: over at most three
     * continuation bytes, which no sequence starts with. */
    std::size_t before = at - 1;
    while (before > 0 && at - before < 4 &&
           (static_cast<unsigned char>(folded[before]) & 0xC0) == 0x80)
        --before;
    const std::size_t length = word_char(folded, before);
    return length == 0 || before + length != at; /* a separator, or bytes not UTF-8 */
}

bool folded_contains(std::string_view haystack, std::string_view folded_needle)
{
    thread_local std::string folded;
    folded.clear();
    fold_into(folded, haystack);
    return folded.find(folded_needle) != std::string::npos;
}

bool is_utf8(std::string_view bytes)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (at + 32 <= bytes.size() && is_ascii32(bytes.data() + at)) {
            at += 32;
            continue;
        }
        if (at + 8 <= bytes.size() && is_ascii8(bytes.data() + at)) {
            at += 8;
            continue;
        }
        const std::size_t length = utf8_sequence(bytes, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

bool is_utf8(const char* text)
{
    if (text == nullptr)
        return true;
    const char* at = text;
    while (static_cast<signed char>(*at) > 0) /* ASCII, not the end */
        ++at;
    return *at == '\0' || is_utf8(std::string_view(at));
}

std::size_t display_width(std::string_view text)
{
    std::size_t width = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t run = ascii_end(text, at); /* ASCII: a column a byte */
        width += run - at;
        if ((at = run) == text.size())
            break;
        const Char c = char_at(text, at);
        width += c.valid ? static_cast<std::size_t>(utf8proc_charwidth(c.code)) : 1;
        at += c.length;
    }
    return width;
}

std::string cut_to_width(std::string_view text, std::size_t width)
{
    if (display_width(text) <= width)
        return std::string(text);
    if (width == 0)
        return {};
    std::size_t at = 0, used = 0;
    while (at < text.size()) {
        const std::size_t end = cluster_end(text, at);
        const std::size_t cluster = display_width(text.substr(at, end - at));
        if (used + cluster > width - 1)
            break; /* a column kept for the "…" */
        used += cluster;
        at = end;
    }
    return std::string(text.substr(0, at)) + "\u2026";
}

std::string counted(std::size_t count, std::string_view one, std::string_view many)
{
    std::string out = std::to_string(count);
    out += ' ';
    out += count == 1 ? one : many;
    return out;
}

} // namespace desk::text
