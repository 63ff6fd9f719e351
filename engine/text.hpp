/*
 * text.hpp - the rules of text entering a record, and the one key by which
 * the desk searches, sorts and merges.
 */
#ifndef LENDREC_ENGINE_TEXT_HPP
#define LENDREC_ENGINE_TEXT_HPP

#include <cstddef>
#include <string>
#include <string_view>

namespace desk::text {

/* Why a text cannot go into a record, or kNone. */
enum class Fault { kNone, kNotUtf8, kControl, kBlank, kTooLong };

/* A text ready for a record: valid UTF-8, normalised to NFC, surrounding
 * spaces trimmed, no control characters, not blank, at most `max_chars`
 * characters. `fault` says why not; `text` is the cleaned text when fault
 * is kNone. */
struct Clean {
    std::string text;
    Fault fault = Fault::kNone;
};
Clean clean(std::string_view text, std::size_t max_chars);

/* The desk's sentence for a fault about `what` ("a title"). */
std::string fault_sentence(Fault fault, std::string_view what, std::size_t max_chars);

/* The key for search, sort and merge: case and accents folded. */
std::string fold(std::string_view text);

/* True when `folded_needle` (already fold()ed) occurs in fold(haystack). */
bool folded_contains(std::string_view haystack, std::string_view folded_needle);

/* True when `bytes` is well-formed UTF-8. */
bool is_utf8(std::string_view bytes);

/* Columns `text` takes on a terminal. */
std::size_t display_width(std::string_view text);

/* `text` cut to at most `width` columns, ending in "…" when cut. */
std::string cut_to_width(std::string_view text, std::size_t width);

} // namespace desk::text

#endif
