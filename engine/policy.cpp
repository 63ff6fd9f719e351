/*
 * policy.cpp - library.toml read into a Policy, every key checked.
 */
#include "policy.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>

#include <fmt/format.h>
#define TOML_HEADER_ONLY 1
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include "rules.hpp"

namespace desk {

namespace {

constexpr std::array<const char*, 7> kWeekdays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};

/* The most a count of the policy may be: far beyond any library's rules. */
constexpr std::size_t kMaxCount = 1000000;

class Reader {
public:
    std::vector<PolicyProblem> problems;

    void problem(const toml::source_region& where, std::string cause)
    {
        problems.push_back({static_cast<std::size_t>(where.begin.line), std::move(cause)});
    }

    /* A whole number from `low` to `high` into `into`. */
    void count(const toml::node& node, std::string_view name, std::size_t low, std::size_t high,
               std::size_t& into)
    {
        const auto* value = node.as_integer();
        if (value != nullptr && value->get() >= 0 &&
            static_cast<std::uint64_t>(value->get()) >= low &&
            static_cast<std::uint64_t>(value->get()) <= high) {
            into = static_cast<std::size_t>(value->get());
            return;
        }
        problem(node.source(),
                fmt::format("{} must be a whole number from {} to {}", name, low, high));
    }

    void flag(const toml::node& node, std::string_view name, bool& into)
    {
        if (const auto* value = node.as_boolean())
            into = value->get();
        else
            problem(node.source(), fmt::format("{} must be true or false", name));
    }

    void unknown(const toml::key& key, std::string_view section)
    {
        problem(key.source(), section.empty()
                                  ? fmt::format("unknown key {}", key.str())
                                  : fmt::format("unknown key {}.{}", section, key.str()));
    }

    /* The table `node` is, or null (a problem told) when it is not one. */
    const toml::table* table(const toml::node& node, std::string_view name)
    {
        if (const auto* found = node.as_table())
            return found;
        problem(node.source(), fmt::format("{} must be a table ([{}])", name, name));
        return nullptr;
    }
};

void read_genres(Reader& r, const toml::table& genres, Policy& p)
{
    for (auto&& [key, node] : genres) {
        const std::string name = fmt::format("loan.genre.{}", key.str());
        const toml::table* rules = r.table(node, name);
        if (rules == nullptr)
            continue;
        GenreTerms& terms = p.loan.genre[std::string(key.str())];
        for (auto&& [field, value] : *rules) {
            std::size_t number = 0;
            if (field.str() == "days") {
                r.count(value, name + ".days", 1, rules::kMaxLoanDays, number);
                terms.days = number;
            } else if (field.str() == "limit") {
                r.count(value, name + ".limit", 1, kMaxCount, number);
                terms.limit = number;
            } else {
                r.unknown(field, name);
            }
        }
    }
}

/* Each text of the array `node` read by `read_one`, which tells whether
 * it took the text. */
template <typename ReadOne>
void read_texts(Reader& r, const toml::node& node, std::string_view name, ReadOne read_one)
{
    const auto* array = node.as_array();
    if (array == nullptr) {
        r.problem(node.source(), fmt::format("{} must be a list of texts", name));
        return;
    }
    for (const toml::node& item : *array) {
        const auto* text = item.as_string();
        if (text == nullptr)
            r.problem(item.source(), fmt::format("{} must be a list of texts", name));
        else if (!read_one(text->get()))
            r.problem(item.source(),
                      fmt::format("{} holds \"{}\", which is not {}", name, text->get(),
                                  name.ends_with("weekdays") ? "a day of the week, as \"Sunday\""
                                                             : "a real date DD/MM/YYYY"));
    }
}

/* The keys that hold a count: the section and key, the range, and where
 * the count goes. */
struct CountKey {
    std::string_view name; /* "loan.days" */
    std::size_t low, high;
    std::size_t& (*field)(Policy&);
};

const CountKey kCounts[] = {
    {"loan.days", 1, rules::kMaxLoanDays, [](Policy& p) -> std::size_t& { return p.loan.days; }},
    {"loan.limit", 1, kMaxCount, [](Policy& p) -> std::size_t& { return p.loan.limit; }},
    {"loan.renewals", 0, kMaxCount, [](Policy& p) -> std::size_t& { return p.loan.renewals; }},
    {"fine.per_day", 0, kMaxCount, [](Policy& p) -> std::size_t& { return p.fine.per_day; }},
    {"fine.grace_days", 0, rules::kMaxLoanDays,
     [](Policy& p) -> std::size_t& { return p.fine.grace_days; }},
    {"fine.cap", 0, kMaxCount * 100, [](Policy& p) -> std::size_t& { return p.fine.cap; }},
    {"fine.block_at", 0, kMaxCount * 100,
     [](Policy& p) -> std::size_t& { return p.fine.block_at; }},
    {"hold.pickup_days", 1, rules::kMaxLoanDays,
     [](Policy& p) -> std::size_t& { return p.hold.pickup_days; }},
    {"hold.limit", 0, kMaxCount, [](Policy& p) -> std::size_t& { return p.hold.limit; }},
};

void read_currency(Reader& r, const toml::node& node, Policy& p)
{
    const auto* text = node.as_string();
    if (text != nullptr && text->get().size() == 3 &&
        std::all_of(text->get().begin(), text->get().end(),
                    [](char c) { return c >= 'A' && c <= 'Z'; }))
        p.fine.currency = text->get();
    else
        r.problem(node.source(), "fine.currency must be three capital letters, as \"EUR\"");
}

bool read_weekday(Policy& p, const std::string& text)
{
    const auto* found = std::find(kWeekdays.begin(), kWeekdays.end(), text);
    if (found != kWeekdays.end())
        p.calendar.closed_weekdays.emplace_back(static_cast<unsigned>(found - kWeekdays.begin()));
    return found != kWeekdays.end();
}

bool read_closed_date(Policy& p, const std::string& text)
{
    const std::optional<Day> day = parse_date(text);
    if (day && in_desk_years(*day))
        p.calendar.closed_dates.push_back(*day);
    return day && in_desk_years(*day);
}

/* One key of a section ([loan], [fine], [hold], [calendar]). */
void read_key(Reader& r, std::string_view section, const toml::key& key, const toml::node& node,
              Policy& p)
{
    const std::string name = fmt::format("{}.{}", section, key.str());
    const auto* count = std::find_if(std::begin(kCounts), std::end(kCounts),
                                     [&name](const CountKey& c) { return c.name == name; });
    if (count != std::end(kCounts))
        r.count(node, name, count->low, count->high, count->field(p));
    else if (name == "loan.block_when_overdue")
        r.flag(node, name, p.loan.block_when_overdue);
    else if (name == "loan.genre") {
        if (const toml::table* genres = r.table(node, name))
            read_genres(r, *genres, p);
    } else if (name == "fine.currency")
        read_currency(r, node, p);
    else if (name == "calendar.closed_weekdays")
        read_texts(r, node, name, [&p](const std::string& text) { return read_weekday(p, text); });
    else if (name == "calendar.closed_dates")
        read_texts(r, node, name,
                   [&p](const std::string& text) { return read_closed_date(p, text); });
    else
        r.unknown(key, section);
}

void read_sections(Reader& r, const toml::table& file, Policy& p)
{
    for (auto&& [key, node] : file) {
        const std::string_view section = key.str();
        if (section != "loan" && section != "fine" && section != "hold" && section != "calendar")
            r.unknown(key, "");
        else if (const toml::table* table = r.table(node, section))
            for (auto&& [inner, value] : *table)
                read_key(r, section, inner, value, p);
    }
    std::vector<Day>& dates = p.calendar.closed_dates;
    std::sort(dates.begin(), dates.end());
    dates.erase(std::unique(dates.begin(), dates.end()), dates.end());
}

} // namespace

std::size_t Policy::days_for(std::string_view genre) const
{
    const auto found = loan.genre.find(std::string(genre));
    return found != loan.genre.end() && found->second.days ? *found->second.days : loan.days;
}

std::size_t Policy::limit_for(std::string_view genre) const
{
    const auto found = loan.genre.find(std::string(genre));
    return found != loan.genre.end() && found->second.limit ? *found->second.limit : loan.limit;
}

bool Policy::open_on(Day day) const
{
    const std::chrono::weekday weekday{day};
    return std::find(calendar.closed_weekdays.begin(), calendar.closed_weekdays.end(), weekday) ==
               calendar.closed_weekdays.end() &&
           !std::binary_search(calendar.closed_dates.begin(), calendar.closed_dates.end(), day);
}

Day Policy::next_open_day(Day day) const
{
    /* A week, and every closed date besides, reaches an open day if any. */
    for (std::size_t step = 0; step <= 7 + calendar.closed_dates.size(); ++step) {
        const Day candidate = day + std::chrono::days{static_cast<long>(step)};
        if (open_on(candidate))
            return candidate;
    }
    return day;
}

std::size_t Policy::open_days_between(Day from, Day to) const
{
    std::size_t open = 0;
    for (Day day = from + std::chrono::days{1}; day <= to; day += std::chrono::days{1})
        open += open_on(day) ? 1u : 0u;
    return open;
}

Day Policy::after_open_days(Day from, std::size_t days) const
{
    Day day = from;
    for (std::size_t counted = 0; counted < days;) {
        day = next_open_day(day + std::chrono::days{1});
        if (!open_on(day)) /* never open: count the days as they come */
            return from + std::chrono::days{static_cast<long>(days)};
        ++counted;
    }
    return day;
}

PolicyRead read_policy(std::string_view text)
{
    PolicyRead read;
    Reader reader;
    try {
        const toml::table file = toml::parse(text);
        read_sections(reader, file, read.policy);
    } catch (const toml::parse_error& e) {
        reader.problem(e.source(), fmt::format("not TOML: {}", e.description()));
    }
    if (!reader.problems.empty()) {
        read.policy = Policy{};
        read.problems = std::move(reader.problems);
        /* Tables are walked by key: tell the problems in the file's order. */
        std::stable_sort(
            read.problems.begin(), read.problems.end(),
            [](const PolicyProblem& a, const PolicyProblem& b) { return a.line < b.line; });
    }
    return read;
}

std::string_view weekday_name(std::chrono::weekday day)
{
    return kWeekdays[day.c_encoding()];
}

std::string format_amount(std::size_t minor_units)
{
    return fmt::format("{}.{:02}", minor_units / 100, minor_units % 100);
}

nlohmann::json to_json(const Policy& policy)
{
    nlohmann::json genres = nlohmann::json::object();
    for (const auto& [name, terms] : policy.loan.genre) {
        nlohmann::json rules = nlohmann::json::object();
        if (terms.days)
            rules["days"] = *terms.days;
        if (terms.limit)
            rules["limit"] = *terms.limit;
        genres[name] = rules;
    }
    nlohmann::json weekdays = nlohmann::json::array(), dates = nlohmann::json::array();
    for (std::chrono::weekday day : policy.calendar.closed_weekdays)
        weekdays.push_back(weekday_name(day));
    for (Day day : policy.calendar.closed_dates)
        dates.push_back(format_date(day));
    const Policy::Loan& loan = policy.loan;
    const Policy::Fine& fine = policy.fine;
    return {{"loan",
             {{"days", loan.days},
              {"limit", loan.limit},
              {"renewals", loan.renewals},
              {"block_when_overdue", loan.block_when_overdue},
              {"genre", genres}}},
            {"fine",
             {{"per_day", fine.per_day},
              {"grace_days", fine.grace_days},
              {"cap", fine.cap},
              {"block_at", fine.block_at},
              {"currency", fine.currency}}},
            {"hold", {{"pickup_days", policy.hold.pickup_days}, {"limit", policy.hold.limit}}},
            {"calendar", {{"closed_weekdays", weekdays}, {"closed_dates", dates}}}};
}

} // namespace desk
