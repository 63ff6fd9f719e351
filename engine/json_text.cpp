/*
 * json_text.cpp - JSON strings written by hand, the one place that knows
 * JSON's escapes.
 */
#include "json_text.hpp"

#include <algorithm>
#include <array>
#include <utility>

#include "text.hpp"

namespace desk {

namespace {

/* The length of the UTF-8 sequence starting `text` at `at`, 0 when the
 * bytes there are not one. */
std::size_t sequence_length(std::string_view text, std::size_t at)
{
    unsigned char lead = static_cast<unsigned char>(text[at]);
    std::size_t length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    return text::is_utf8(text.substr(at, length)) ? length : 0;
}

/* True for each byte written as it stands: printable ASCII but for the
 * quote and the backslash. */
constexpr std::array<bool, 256> kPlain = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x80; ++c)
        plain[static_cast<std::size_t>(c)] = c != '"' && c != '\\';
    return plain;
}();

bool plain(char c)
{
    return kPlain[static_cast<unsigned char>(c)];
}

void append_escaped(TextSink& out, unsigned char c)
{
    static const char* const kHex = "0123456789abcdef";
    static constexpr std::pair<char, std::string_view> kShort[] = {
        {'"', "\\\""}, {'\\', "\\\\"}, {'\n', "\\n"}, {'\r', "\\r"}, {'\t', "\\t"}};
    for (const auto& [byte, escape] : kShort)
        if (c == static_cast<unsigned char>(byte)) {
            out.append(escape);
            return;
        }
    out.append("\\u00");
    out.append(kHex[c >> 4]);
    out.append(kHex[c & 0xF]);
}

/* Writes `"text"` at `at` when every byte of `text` is plain, the usual
 * case, in one pass that checks and copies; the end of what it wrote, or
 * null (nothing to keep) when a byte needs escaping. */
char* quoted_plain(char* at, std::string_view text)
{
    *at++ = '"';
    for (char c : text) {
        if (!plain(c))
            return nullptr;
        *at++ = c;
    }
    *at++ = '"';
    return at;
}

} // namespace

void append_json_string(TextSink& out, std::string_view text)
{
    if (char* end = quoted_plain(out.room(text.size() + 2), text)) {
        out.commit(end);
        return;
    }
    std::size_t at = 0;
    while (at < text.size() && plain(text[at]))
        ++at;
    out.append('"');
    out.append(text.substr(0, at));
    while (at < text.size()) {
        const std::size_t start = at;
        while (at < text.size() && plain(text[at]))
            ++at;
        out.append(text.substr(start, at - start));
        if (at == text.size())
            break;
        unsigned char c = static_cast<unsigned char>(text[at]);
        if (c < 0x80) {
            append_escaped(out, c);
            ++at;
        } else if (std::size_t length = sequence_length(text, at)) {
            out.append(text.substr(at, length));
            at += length;
        } else {
            out.append("\xEF\xBF\xBD"); /* U+FFFD for a byte that is not UTF-8 */
            ++at;
        }
    }
    out.append('"');
}

} // namespace desk
