/*
 * json_text_test.cpp - JSON written as text: every string comes back from
 * a JSON reader as written (U+FFFD for bytes that are not UTF-8), and a
 * view's text and its tree are the same value.
 */
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "json_text.hpp"
#include "views.hpp"

namespace {

TEST(JsonText, StringsReadBackAsWritten)
{
    struct Case {
        std::string text, read_back;
    };
    const std::vector<Case> cases = {
        {"Dune", "Dune"},
        {"say \"hi\" \\ bye", "say \"hi\" \\ bye"},
        {"line\nbreak\ttab\rcr", "line\nbreak\ttab\rcr"},
        {std::string("nul\0bell\x07", 9), std::string("nul\0bell\x07", 9)},
        {"Война и мир 戦争 🙂", "Война и мир 戦争 🙂"},
        {"bad \xC3 byte", "bad \xEF\xBF\xBD byte"},
        {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        const std::string out =
            desk::collected([&c](desk::TextSink& sink) { desk::append_json_string(sink, c.text); });
        EXPECT_EQ(nlohmann::json::parse(out).get<std::string>(), c.read_back) << out;
    }
}

TEST(JsonText, ViewsWrittenAsTextEqualTheirTrees)
{
    desk::BookView book{7, "Émile \"Rousseau\"", "A\tB", "Essais", 3, 1};
    desk::UserView user{2, "Ann", "1 Main St", "+34 91 234 56 78", 4};
    desk::LoanView loan{5, 7, 2, std::nullopt, "Ann", "01/02/2026", "01/03/2026", false, 12};
    desk::OverdueView late{loan, std::nullopt};
    auto same = [](const auto& view) {
        const std::string text =
            desk::collected([&view](desk::TextSink& sink) { desk::JsonText(sink).object(view); });
        EXPECT_EQ(nlohmann::json::parse(text), view.to_json()) << text;
    };
    same(book), same(user), same(loan), same(late);
    const std::vector<desk::BookView> none, two{book, book};
    EXPECT_EQ(nlohmann::json::parse(desk::json_array_text(none)), nlohmann::json::array());
    EXPECT_EQ(nlohmann::json::parse(desk::json_array_text(two)), desk::json_array(two));
}

} // namespace
