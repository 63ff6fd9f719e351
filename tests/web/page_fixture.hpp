/*
 * page_fixture.hpp - a small library held in memory for the page tests,
 * every text of it hostile markup, with loans, holds and fines made through
 * the engine's own rules; and a few ways to look into the HTML a page
 * makes (its forms, and the attributes of its tags).
 */
#ifndef LENDREC_TESTS_WEB_PAGE_FIXTURE_HPP
#define LENDREC_TESTS_WEB_PAGE_FIXTURE_HPP

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "circulation.hpp"
#include "dates.hpp"
#include "fines.hpp"
#include "holds.hpp"
#include "library.hpp"
#include "memory_store.hpp"
#include "pages.hpp"

namespace desk::web::test {

inline Day day(const char* text)
{
    return *parse_date(text);
}

/* Markup that would run if written unescaped, naming the field it fills. */
inline std::string hostile(const std::string& field)
{
    return "<script>alert(1)</script> & \"" + field + "\"";
}

/* The same text as an escaping template writes it. */
inline std::string escaped(const std::string& field)
{
    return "&lt;script&gt;alert(1)&lt;&#x2F;script&gt; &amp; &quot;" + field + "&quot;";
}

inline const Day kToday = day("10/03/2026");

/*
 * Book 1 (two copies) and member 1 hold hostile texts; books 2 and 3 and
 * members 2 and 3 are plain. Member 1 has book 1 out since 01/01 (overdue
 * on kToday), returned books 2 and 3 late: one fine owed, one waived with
 * a hostile reason. Member 2 has the other copy of book 1, member 3 holds
 * it. Fines are 0.50 a day in `currency`; the history is committed.
 */
inline std::unique_ptr<Library> hostile_library(const std::string& currency = "EUR")
{
    auto store = std::make_unique<desk::test::MemoryStore>();
    store->books = {{1, hostile("title"), hostile("author"), hostile("genre"), 2, 2},
                    {2, "García Márquez stories", "Gabriel", "Novel", 1, 1},
                    {3, "Plain", "Someone", "Novel", 1, 1}};
    store->users = {{1, hostile("name"), hostile("address"), "+34 91 234 56 78"},
                    {2, "Reader Two", "2 Main St", "+34 91 234 56 79"},
                    {3, "Reader Three", "3 Main St", "+34 91 234 56 70"}};
    store->policy_text = "[fine]\nper_day = 50\ncurrency = \"" + currency + "\"\n";
    auto lib = Library::open(std::move(store));
    lib->set_clerk(hostile("clerk"));
    for (std::size_t book = 1; book <= 3; ++book)
        checkout(*lib, book, 1, day("01/01/2026"), {});
    give_back(*lib, 3, 1, day("10/02/2026"));
    give_back(*lib, 2, 1, day("15/02/2026"));
    checkout(*lib, 1, 2, day("01/03/2026"), {});
    place_hold(*lib, 1, 3, day("02/03/2026"));
    waive_fine(*lib, list_fines(*lib, 1, false).front().id, hostile("reason"), day("03/03/2026"));
    lib->commit();
    return lib;
}

/* A frame with hostile staff name, note and error, and a known token. */
inline Frame hostile_frame(bool admin)
{
    return Frame{.staff = hostile("clerk"),
                 .admin = admin,
                 .csrf = "tok-8f3a",
                 .notes = {hostile("note")},
                 .errors = {hostile("error")}};
}

/* Each `<form ...>...</form>` of `html`, whole. */
inline std::vector<std::string> forms(const std::string& html)
{
    std::vector<std::string> out;
    for (std::size_t at = html.find("<form"); at != std::string::npos;
         at = html.find("<form", at + 1)) {
        const std::size_t end = html.find("</form>", at);
        out.push_back(html.substr(at, end == std::string::npos ? end : end + 7 - at));
    }
    return out;
}

/* The attributes of every `<name ...>` tag of `html`, in order; a bare
 * attribute maps to "". */
inline std::vector<std::map<std::string, std::string>> tags(const std::string& html,
                                                            const std::string& name)
{
    std::vector<std::map<std::string, std::string>> out;
    const std::string open = "<" + name;
    for (std::size_t at = html.find(open); at != std::string::npos; at = html.find(open, at + 1)) {
        const char next = html[at + open.size()];
        if (next != ' ' && next != '>')
            continue;
        const std::size_t end = html.find('>', at);
        const std::string inside = html.substr(at + open.size(), end - at - open.size());
        std::map<std::string, std::string> attributes;
        for (std::size_t i = 0; i < inside.size();) {
            const std::size_t key_end = inside.find_first_of("= ", i);
            const std::string key = inside.substr(i, key_end - i);
            if (key_end != std::string::npos && inside[key_end] == '=') {
                const std::size_t close = inside.find('"', key_end + 2);
                attributes[key] = inside.substr(key_end + 2, close - key_end - 2);
                i = close + 2;
            } else {
                if (!key.empty())
                    attributes[key] = "";
                i = key_end == std::string::npos ? inside.size() : key_end + 1;
            }
        }
        out.push_back(std::move(attributes));
    }
    return out;
}

} // namespace desk::web::test

#endif
