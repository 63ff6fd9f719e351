/*
 * text.hpp - the desk's rules for text: what a record's text may hold, the
 * key that search, sort and import merge compare, and the room a text takes
 * on a terminal. Everything Unicode comes from utf8proc; nothing here
 * prints, and nothing throws on bad bytes.
 */
#ifndef LENDREC_ENGINE_TEXT_HPP
#define LENDREC_ENGINE_TEXT_HPP

#include <cstddef>
#include <string>
#include <string_view>

namespace desk::text {

/* Why a text cannot go into a record, or kNone. */
enum class Fault { kNone, kNotUtf8, kControl, kBlank, kTooLong };

/*
 * A text ready for a record: valid UTF-8, normalised to NFC, surrounding
 * spaces (every Unicode space separator) trimmed, no control characters (C0
 * incl. TAB/CR/LF, DEL, C1, and U+2028/U+2029 line and paragraph
 * separators, wherever they stand), not blank, at most `max_chars`
 * characters (code points after NFC). Faults are looked for in that order.
 * `text` is the cleaned text when `fault` is kNone, else empty.
 */
struct Clean {
    std::string text;
    Fault fault = Fault::kNone;
};
Clean clean(std::string_view text, std::size_t max_chars);

/*
 * The desk's sentence for `fault` about `what` ("a title"), e.g. "a title
 * may not be blank"; empty for kNone. `max_chars` is the limit kTooLong
 * names.
 */
std::string fault_sentence(Fault fault, std::string_view what, std::size_t max_chars);

/*
 * The key for search, sort and merge: NFKC, case-folded, accents and other
 * combining marks and default-ignorable characters (soft hyphens, zero-width
 * joiners) removed, so "GARCÍA", "García" and "garcia" give one key, and
 * "Straße" and "STRASSE" another. Bytes that are not UTF-8 are kept as they
 * are. Never throws.
 */
std::string fold(std::string_view text);

/* fold(text) appended to `out`, without a string of its own. */
void fold_into(std::string& out, std::string_view text);

/* Where one word of a text lies: bytes [begin, end). */
struct WordSpan {
    std::size_t begin, end;
};

/*
 * The first word of `folded` (a fold()ed text) at or after byte `at`: a run
 * of letters and digits (Unicode categories L and N); everything else
 * (spaces, punctuation, symbols, bytes that are not UTF-8) lies between
 * words. {size, size} when no word is left.
 */
WordSpan next_word(std::string_view folded, std::size_t at);

/* True when a word of `folded` (as next_word finds them) starts at byte
 * `at`: a letter or digit starts there, and none ends just before it. */
bool starts_word(std::string_view folded, std::size_t at);

/* True when `folded_needle` (already fold()ed) occurs in fold(haystack);
 * an empty needle occurs in every text. */
bool folded_contains(std::string_view haystack, std::string_view folded_needle);

/* True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
 * nothing above U+10FFFF). */
bool is_utf8(std::string_view bytes);
/* The same for a NUL-terminated text, without measuring it first; a null
 * text is empty, so UTF-8. */
bool is_utf8(const char* text);

/*
 * The columns `text` takes on a terminal: East Asian wide characters and
 * emoji 2, combining marks and zero-width characters 0, other characters
 * 1 (utf8proc's widths); ASCII bytes and bytes that are not UTF-8 count 1
 * each. Never more than the text's size in bytes.
 */
std::size_t display_width(std::string_view text);

/*
 * `text` cut to at most `width` columns (as display_width counts them),
 * ending in "…" when cut; "" when `width` is 0 and `text` is not. Cuts only
 * between whole characters with their combining marks (grapheme clusters).
 */
std::string cut_to_width(std::string_view text, std::size_t width);

/* "1 copy", "3 copies": the count and the word that goes with it. */
std::string counted(std::size_t count, std::string_view one, std::string_view many);

} // namespace desk::text

#endif
