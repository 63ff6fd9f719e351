/*
 * search.cpp - books and users found by words, ranked by where the words
 * matched. Each record's texts are folded into one buffer kept for the
 * whole search, and only as far as the search needs: a record whose title
 * holds every word is never folded further.
 */
#include "search.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>

#include "text.hpp"

namespace desk {

namespace {

/* The texts of a record a search looks in, best first. */
template <typename Handle>
using Texts = std::array<String (*)(Handle), 3>;

constexpr Texts<Book> kBookTexts = {book_get_title, book_get_author, book_get_genre};
constexpr Texts<User> kUserTexts = {user_get_name, user_get_address, user_get_phone};

constexpr std::size_t kUnmatched = std::numeric_limits<std::size_t>::max();

/* True when `start` (a search word) begins a word of `folded`: found
 * where a word starts. Looking for the search word, rather than walking
 * every word of the text, passes over most texts in one quick scan. */
bool begins_a_word(std::string_view folded, std::string_view start)
{
    for (std::size_t at = folded.find(start); at != std::string_view::npos;
         at = folded.find(start, at + 1))
        if (text::starts_word(folded, at))
            return true;
    return false;
}

/* The words of one search, matched against one record at a time. */
class Matcher {
public:
    explicit Matcher(std::string_view text) : words_(search_words(text)), matched_(words_.size()) {}

    /* The record's rank (smaller is better), or kUnmatched when a word
     * begins no word of its texts. */
    template <typename Handle>
    std::size_t rank(Handle record, const Texts<Handle>& texts)
    {
        std::fill(matched_.begin(), matched_.end(), false);
        std::size_t left = words_.size(), sum = 0;
        for (std::size_t place = 0; place < texts.size() && left != 0; ++place) {
            folded_.clear();
            text::fold_into(folded_, texts[place](record));
            const std::size_t found = match(folded_);
            left -= found;
            sum += found * place;
        }
        return left == 0 && !words_.empty() ? sum : kUnmatched;
    }

private:
    /* Marks the words not yet matched that begin a word of `folded`; how
     * many it marked. */
    std::size_t match(std::string_view folded)
    {
        std::size_t found = 0;
        for (std::size_t i = 0; i < words_.size(); ++i)
            if (!matched_[i] && begins_a_word(folded, words_[i])) {
                matched_[i] = true;
                ++found;
            }
        return found;
    }

    std::vector<std::string> words_;
    std::vector<char> matched_; /* per word: found in a text already */
    std::string folded_;
};

template <typename Handle>
std::vector<Handle> search(const Records<Handle>& records, std::string_view text,
                           const Texts<Handle>& texts)
{
    struct Found {
        std::size_t rank, id;
        Handle record;
    };
    Matcher matcher(text);
    std::vector<Found> found;
    for (Handle record : records.all())
        if (const std::size_t rank = matcher.rank(record, texts); rank != kUnmatched)
            found.push_back({rank, id_of(record), record});
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.rank != b.rank ? a.rank < b.rank : a.id < b.id;
    });
    std::vector<Handle> out;
    out.reserve(found.size());
    for (const Found& one : found)
        out.push_back(one.record);
    return out;
}

} // namespace

std::vector<std::string> search_words(std::string_view text)
{
    const std::string folded = text::fold(text);
    std::vector<std::string> words;
    for (text::WordSpan at = text::next_word(folded, 0); at.begin < folded.size();
         at = text::next_word(folded, at.end))
        words.push_back(folded.substr(at.begin, at.end - at.begin));
    return words;
}

std::vector<Book> search_books(const Library& lib, std::string_view text)
{
    return search(lib.books(), text, kBookTexts);
}

std::vector<User> search_users(const Library& lib, std::string_view text)
{
    return search(lib.users(), text, kUserTexts);
}

} // namespace desk
