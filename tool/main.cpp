/*
 * main.cpp - `lendrec`, the circulation desk: builds the command line,
 * runs the chosen command and turns its outcome into an exit status
 * (cli.hpp: 0 done, 1 refused, 2 bad usage, 3 file problems, 4 busy,
 * 5 not written). Messages go to standard error, prefixed "lendrec: ";
 * results to standard output.
 */
#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli.hpp"
#include "commands/commands.hpp"
#include "lendrec_version.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

/* The arguments as UTF-8 text: on Windows from the wide command line, so
 * titles in any script arrive intact. */
std::vector<std::string> arguments(int argc, char** argv)
{
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    std::vector<std::string> out;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) {
            int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string text(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), size, nullptr, nullptr);
            text.resize(text.size() - 1);
            out.push_back(text);
        }
        LocalFree(wide);
    }
    return out;
#else
    return std::vector<std::string>(argv, argv + argc);
#endif
}

void build(CLI::App& app, desk::Desk& desk)
{
    app.set_version_flag("--version", LENDREC_VERSION_STRING);
    app.add_option("-C,--library", desk.folder_option,
                   "The library folder (default: $LENDREC_LIBRARY, else the current folder)");
    app.require_subcommand(1);
    desk::add_init_command(app, desk);
    desk::add_book_commands(app, desk);
    desk::add_user_commands(app, desk);
    desk::add_circulation_commands(app, desk);
    desk::add_check_command(app, desk);
    desk::add_import_command(app, desk);
    desk::add_export_command(app, desk);
}

/* The first word of the command line naming no command where one is
 * expected ("lendrec frob", "lendrec book frob"), or "". */
std::string unknown_command(const CLI::App& app, const std::vector<std::string>& args)
{
    const CLI::App* level = &app;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "-C" || args[i] == "--library") {
            ++i;
            continue;
        }
        if (args[i].empty() || args[i][0] == '-')
            continue;
        auto commands = level->get_subcommands([](const CLI::App*) { return true; });
        if (commands.empty())
            return "";
        auto named = std::find_if(commands.begin(), commands.end(),
                                  [&](const CLI::App* c) { return c->get_name() == args[i]; });
        if (named == commands.end())
            return args[i];
        level = *named;
    }
    return "";
}

/* CLI11's message, or for an unexpected flag "unknown option '--x'". */
std::string usage_message(const CLI::ParseError& e, const std::vector<std::string>& args)
{
    if (args.size() <= 1)
        return "no command given";
    if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr)
        for (const std::string& arg : args)
            if (arg.size() > 1 && arg[0] == '-' && std::string(e.what()).find(arg) != std::string::npos)
                return "unknown option '" + arg + "'";
    return e.what();
}

int fail(int status, const std::string& message)
{
    std::fprintf(stderr, "lendrec: %s\n", message.c_str());
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"lendrec - the circulation desk of a lending library", "lendrec"};
    desk::Desk desk;
    try {
        build(app, desk);
        std::vector<std::string> args = arguments(argc, argv);
        std::vector<const char*> pointers;
        for (const std::string& arg : args)
            pointers.push_back(arg.c_str());
        std::string unknown = unknown_command(app, args);
        if (!unknown.empty())
            return fail(desk::kUsage, "unknown command '" + unknown + "'; see `lendrec --help`");
        try {
            app.parse(static_cast<int>(pointers.size()), pointers.data());
        } catch (const CLI::ParseError& e) {
            if (e.get_exit_code() == 0)
                return app.exit(e);
            return fail(desk::kUsage, usage_message(e, args) + "\nlendrec: see `lendrec --help`");
        }
        if (desk.action)
            desk.action();
        return desk::kDone;
    } catch (const desk::Failure& e) {
        return fail(e.status(), e.what());
    } catch (const std::bad_alloc&) {
        return fail(desk::kWrite, "out of memory; nothing was changed");
    } catch (const std::exception& e) {
        return fail(desk::kWrite, e.what());
    }
}
