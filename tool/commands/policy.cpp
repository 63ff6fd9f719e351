/*
 * policy.cpp - `lendrec policy [--json]`: the rules the library lends by,
 * from library.toml or, without it, the desk's own.
 */
#include <memory>
#include <string>

#include <fmt/format.h>

#include "commands.hpp"
#include "output.hpp"
#include "policy.hpp"

namespace desk {

namespace {

struct PolicyArgs {
    bool json = false;
};

/* "a, b" of what `name` makes of each item; "none" for no item. */
template <typename Items, typename Name>
std::string joined(const Items& items, Name name)
{
    std::string all;
    for (const auto& item : items)
        all += fmt::format("{}{}", all.empty() ? "" : ", ", name(item));
    return all.empty() ? "none" : all;
}

void show(const PolicyArgs& args, const Desk& desk)
{
    auto lib = open_for_reading(desk);
    const Policy& policy = lib->policy();
    if (args.json) {
        print_json(to_json(policy));
        return;
    }
    const std::string currency = " " + policy.fine.currency;
    std::vector<std::pair<std::string, std::string>> fields = {
        {"loan period", counted(policy.loan.days, "day", "days")},
        {"loan limit", counted(policy.loan.limit, "loan", "loans")},
        {"renewals", std::to_string(policy.loan.renewals)},
        {"overdue blocks", policy.loan.block_when_overdue ? "yes" : "no"}};
    for (const auto& [genre, terms] : policy.loan.genre)
        fields.emplace_back(fmt::format("genre {}", genre),
                            fmt::format("{}, {}", counted(policy.days_for(genre), "day", "days"),
                                        counted(policy.limit_for(genre), "loan", "loans")));
    fields.insert(fields.end(),
                  {{"fine a day", format_amount(policy.fine.per_day) + currency},
                   {"fine grace", counted(policy.fine.grace_days, "day", "days")},
                   {"fine cap", format_amount(policy.fine.cap) + currency},
                   {"fines block at", format_amount(policy.fine.block_at) + currency},
                   {"hold pickup", counted(policy.hold.pickup_days, "open day", "open days")},
                   {"hold limit", counted(policy.hold.limit, "hold", "holds")},
                   {"closed weekdays", joined(policy.calendar.closed_weekdays, weekday_name)},
                   {"closed dates", joined(policy.calendar.closed_dates, format_date)}});
    print_fields(fields);
}

} // namespace

void add_policy_command(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<PolicyArgs>();
    auto* command =
        app.add_subcommand("policy", "Show the rules the library lends by (library.toml)");
    command->add_flag("--json", args->json, "JSON for scripts");
    bind(command, desk, args, show);
}

} // namespace desk
