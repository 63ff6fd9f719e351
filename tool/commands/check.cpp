/*
 * check.cpp - `lendrec check [--repair] [--json]`: is the library sound?
 * The findings and repairs are the engine's (checks.hpp); this prints them.
 */
#include <cstdio>
#include <memory>

#include <fmt/format.h>

#include "checks.hpp"
#include "history_checks.hpp"
#include "commands.hpp"
#include "output.hpp"

namespace desk {

namespace {

struct CheckArgs {
    bool repair = false, json = false;
};

void print_report(const CheckReport& report, const Library& lib)
{
    for (const Finding& f : report.findings)
        std::printf("%s\n", f.message.c_str());
    for (const std::string& change : report.repaired)
        std::printf("repaired: %s\n", change.c_str());
    for (const std::string& why : report.not_repaired)
        std::printf("not repaired: %s\n", why.c_str());
    if (report.ok())
        std::printf("the library is consistent: %s, %s, %s\n",
                    counted(lib.books().all().size(), "book", "books").c_str(),
                    counted(lib.users().all().size(), "user", "users").c_str(),
                    counted(lib.loans().all().size(), "loan", "loans").c_str());
}

void check(const CheckArgs& args, const Desk& desk)
{
    std::string clerk = args.repair ? clerk_name(desk.clerk_option) : "";
    auto lib = open_library(desk, args.repair ? Access::change : Access::read,
                            Kinds::all().with_history());
    lib->set_clerk(std::move(clerk));
    const CheckReport report = args.repair ? repair_library(*lib) : check_with_history(*lib);
    if (!report.repaired.empty())
        commit(*lib, true);
    if (args.json)
        print_json(to_json(report));
    else
        print_report(report, *lib);
    if (!report.ok())
        throw Failure(kFiles, fmt::format("{} found{}",
                                          counted(report.findings.size(), "problem", "problems"),
                                          args.repair ? ""
                                                      : "; `lendrec check --repair` fixes "
                                                        "shelf counts and trailers"));
}

} // namespace

void add_check_command(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<CheckArgs>();
    auto* command = app.add_subcommand("check", "Check that the three files agree; exit 0 only "
                                                "when everything holds");
    command->add_flag("--repair", args->repair,
                      "Fix shelf counts and trailers (nothing that needs guessing)");
    command->add_flag("--json", args->json, "JSON for scripts");
    bind(command, desk, args, check);
}

} // namespace desk
