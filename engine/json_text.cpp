/*
 * json_text.cpp - JSON strings written by hand, the one place that knows
 * JSON's escapes.
 */
#include "json_text.hpp"

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

void append_escaped(std::string& out, unsigned char c)
{
    static const char* const kHex = "0123456789abcdef";
    switch (c) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        break;
    }
    out += "\\u00";
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
}

} // namespace

void append_json_string(std::string& out, std::string_view text)
{
    out += '"';
    std::size_t at = 0;
    while (at < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[at]);
        if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
            out += static_cast<char>(c);
            ++at;
        } else if (c < 0x80) {
            append_escaped(out, c);
            ++at;
        } else if (std::size_t length = sequence_length(text, at)) {
            out.append(text.substr(at, length));
            at += length;
        } else {
            out += "\xEF\xBF\xBD"; /* U+FFFD for a byte that is not UTF-8 */
            ++at;
        }
    }
    out += '"';
}

} // namespace desk
