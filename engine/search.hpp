/*
 * search.hpp - finding books and users by a few words the clerk types, in
 * any order, ignoring case and accents, best matches first.
 *
 * A word is a run of letters and digits of a folded text (text::fold,
 * text::next_word). A record matches when every word of the search begins
 * a word of one of its texts: "garc mar" finds "Gabriel García Márquez",
 * "arcia" does not. Each search word counts the first of the record's
 * texts it begins a word of (a book's title 0, author 1, genre 2; a user's
 * name 0, address 1, phone 2); records are ranked by the sum, smallest
 * first, then by identifier.
 */
#ifndef LENDREC_ENGINE_SEARCH_HPP
#define LENDREC_ENGINE_SEARCH_HPP

#include <string>
#include <string_view>
#include <vector>

#include "library.hpp"

namespace desk {

/* The folded words of `text`, in order; none when it holds no letter or
 * digit (a search of it finds nothing: front ends refuse it first). */
std::vector<std::string> search_words(std::string_view text);

/* The books every word of `text` matches, best first. The books belong
 * to the library. */
std::vector<Book> search_books(const Library& lib, std::string_view text);

/* The users every word of `text` matches, best first. The users belong to
 * the library. */
std::vector<User> search_users(const Library& lib, std::string_view text);

} // namespace desk

#endif
