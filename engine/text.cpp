/*
 * text.cpp - placeholder rules of text (ASCII folding, code points as
 * columns), until the Unicode rules land.
 */
#include "text.hpp"

#include <fmt/format.h>

namespace desk::text {

namespace {

bool continuation(unsigned char byte)
{
    return (byte & 0xC0u) == 0x80u;
}

std::size_t code_points(std::string_view text)
{
    std::size_t count = 0;
    for (char c : text)
        count += continuation(static_cast<unsigned char>(c)) ? 0u : 1u;
    return count;
}

} // namespace

bool is_utf8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > bytes.size())
            return false;
        for (std::size_t k = 1; k < len; ++k)
            if (!continuation(static_cast<unsigned char>(bytes[i + k])))
                return false;
        i += len;
    }
    return true;
}

Clean clean(std::string_view text, std::size_t max_chars)
{
    if (!is_utf8(text))
        return {"", Fault::kNotUtf8};
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return {"", Fault::kControl};
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {"", Fault::kBlank};
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (code_points(text) > max_chars)
        return {"", Fault::kTooLong};
    return {std::string(text), Fault::kNone};
}

std::string fault_sentence(Fault fault, std::string_view what, std::size_t max_chars)
{
    switch (fault) {
    case Fault::kNone: return "";
    case Fault::kNotUtf8: return fmt::format("{} must be UTF-8 text", what);
    case Fault::kControl:
        return fmt::format("{} may not hold control characters (line breaks, tabs)", what);
    case Fault::kBlank: return fmt::format("{} may not be blank", what);
    case Fault::kTooLong: return fmt::format("{} may be at most {} characters", what, max_chars);
    }
    return "";
}

std::string fold(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool folded_contains(std::string_view haystack, std::string_view folded_needle)
{
    return fold(haystack).find(folded_needle) != std::string::npos;
}

std::size_t display_width(std::string_view text)
{
    return code_points(text);
}

std::string cut_to_width(std::string_view text, std::size_t width)
{
    if (code_points(text) <= width)
        return std::string(text);
    if (width == 0)
        return "";
    std::size_t end = 0;
    for (std::size_t kept = 0; end < text.size(); ++end)
        if (!continuation(static_cast<unsigned char>(text[end])) && kept++ == width - 1)
            break;
    return std::string(text.substr(0, end)) + "\u2026";
}

} // namespace desk::text
