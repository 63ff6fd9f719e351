/*
 * main.cpp - `lendrec`, the circulation desk: builds the command line,
 * runs the chosen command and turns its outcome into an exit status
 * (failure.hpp's rule: 0 done, 1 refused, 2 bad usage, 3 file problems,
 * 4 busy, 5 not read or written). Messages go to standard error, prefixed
 * "lendrec: ", in the desk's own sentences (never CLI11's); a usage
 * mistake points to the help of the command it was made in. Results go to
 * standard output, which must be written in full or the status is 5.
 */
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli.hpp"
#include "usage.hpp"
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

/* The help as the clerk reads it: commands listed under "Commands:" (CLI11
 * says "Subcommands"), and a value named once ("ID", not "ID ID"). */
void shape_help(CLI::App& app)
{
    for (CLI::Option* option : app.get_options())
        if (option->get_positional() && option->get_type_name() == option->get_name())
            option->type_name("");
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
        command->group("Commands");
        shape_help(*command);
    }
}

/* The command line of the desk: its global options, every command, and
 * `lendrec help [COMMAND [SUBCOMMAND]]`. */
void build(CLI::App& app, desk::Desk& desk)
{
    app.set_version_flag("--version", LENDREC_VERSION_STRING, "Print the version and exit");
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.add_option("-C,--library", desk.folder_option,
                   "The library folder (default: $LENDREC_LIBRARY, else the current folder)")
        ->type_name("FOLDER");
    app.add_option("--clerk", desk.clerk_option,
                   "Who is at the desk, for the history (default: $LENDREC_CLERK, else the "
                   "system user)")
        ->type_name("NAME");
    app.require_subcommand(1);
    desk::add_init_command(app, desk);
    desk::add_book_commands(app, desk);
    desk::add_user_commands(app, desk);
    desk::add_circulation_commands(app, desk);
    desk::add_check_command(app, desk);
    desk::add_policy_command(app, desk);
    desk::add_hold_commands(app, desk);
    desk::add_fine_commands(app, desk);
    desk::add_history_commands(app, desk);
    desk::add_report_commands(app, desk);
    desk::add_import_command(app, desk);
    desk::add_export_command(app, desk);
    desk::add_staff_commands(app, desk);
    desk::add_serve_command(app, desk);
    desk::add_help_command(app, desk);
    desk::check_dates(app);
    app.footer("See `lendrec help COMMAND` for what a command takes.");
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    shape_help(app);
}

int fail(int status, const std::string& message)
{
    std::fprintf(stderr, "lendrec: %s\n", message.c_str());
    return status;
}

/* The command line read and the chosen command run: its status. */
int run(CLI::App& app, desk::Desk& desk, const std::vector<std::string>& args)
{
    std::vector<const char*> pointers;
    for (const std::string& arg : args)
        pointers.push_back(arg.c_str());
    try {
        if (std::string refusal = desk::unknown_command(app, args); !refusal.empty())
            return fail(desk::kUsage, refusal);
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)
            return app.exit(e);
        return fail(desk::kUsage, desk::usage_sentence(app, e));
    } catch (const desk::Failure& e) {
        if (e.status() != desk::kUsage)
            return fail(e.status(), e.what());
        return fail(e.status(), std::string(e.what()) + "\nlendrec: " + desk::see_help(app));
    }
    if (desk.action)
        desk.action();
    return desk::kDone;
}

/* `status`, once standard output is written in full; else the reason on
 * standard error and 5 (or the command's own failure status). */
int close_output(int status)
{
    errno = 0;
    bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    int reason = errno;
    if (std::fclose(stdout) != 0 && !failed) {
        failed = true;
        reason = errno;
    }
    if (!failed)
        return status;
    std::string why = reason != 0 ? std::string(": ") + std::strerror(reason) : "";
    fail(desk::kWrite, "cannot write the output" + why);
    return status == desk::kDone ? desk::kWrite : status;
}

} // namespace

int main(int argc, char** argv)
{
#ifdef SIGPIPE
    /* A reader that goes away (`lendrec book list | head -1`) makes the
     * write fail with EPIPE, told and given status 5 like any other. */
    std::signal(SIGPIPE, SIG_IGN);
#endif
    CLI::App app{"lendrec - the circulation desk of a lending library", "lendrec"};
    desk::Desk desk;
    int status = desk::kDone;
    try {
        build(app, desk);
        status = run(app, desk, arguments(argc, argv));
    } catch (const desk::Failure& e) {
        status = fail(e.status(), e.what());
    } catch (const std::bad_alloc&) {
        status = fail(desk::kWrite, "out of memory; nothing was changed");
    } catch (const std::exception& e) {
        status = fail(desk::kWrite, e.what());
    }
    return close_output(status);
}
