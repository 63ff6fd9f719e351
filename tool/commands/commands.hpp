/*
 * commands.hpp - the desk's commands. Each group adds its subcommands to
 * the application with one add_<group>_commands call from main; a
 * subcommand's callback stores its action in the Desk, and main runs it
 * once the whole command line is read.
 *
 * Also the few helpers every command shares: opening the library of the
 * desk's folder and committing it. The rules live in the engine
 * (catalogue.hpp, members.hpp, circulation.hpp); commands only read
 * arguments, call it and render its views.
 */
#ifndef LENDREC_TOOL_COMMANDS_HPP
#define LENDREC_TOOL_COMMANDS_HPP

#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli.hpp"
#include "circulation.hpp"
#include "dates.hpp"
#include "library.hpp"

namespace desk {

void add_init_command(CLI::App& app, Desk& desk);
void add_book_commands(CLI::App& app, Desk& desk);
void add_user_commands(CLI::App& app, Desk& desk);
void add_circulation_commands(CLI::App& app, Desk& desk);
void add_check_command(CLI::App& app, Desk& desk);
void add_policy_command(CLI::App& app, Desk& desk);
void add_history_commands(CLI::App& app, Desk& desk);
void add_report_commands(CLI::App& app, Desk& desk);
void add_hold_commands(CLI::App& app, Desk& desk);
void add_fine_commands(CLI::App& app, Desk& desk);
void add_import_command(CLI::App& app, Desk& desk);
void add_export_command(CLI::App& app, Desk& desk);
void add_staff_commands(CLI::App& app, Desk& desk);
void add_serve_command(CLI::App& app, Desk& desk);

/* Lets go of an open library's lock at once, but keeps its records until
 * the process ends: the system takes the whole heap back in one step, far
 * faster than releasing a large library's records one by one. */
struct KeptUntilExit {
    void operator()(Library* lib) const;
};
using OpenLibrary = std::unique_ptr<Library, KeptUntilExit>;

/* The library of the desk's folder, opened with `access` and the tables
 * of `kinds` (Library::open); nothing told. */
OpenLibrary open_library(const Desk& desk, Access access, Kinds kinds = Kinds::all());

/* The library of the desk's folder, for reading (only the tables of
 * `kinds`; warnings about their files already printed, the lock already
 * let go: nothing can be committed) or for changing (refused while it
 * holds any problem `lendrec check` reports; warnings come with the
 * commit). */
OpenLibrary open_for_reading(const Desk& desk, Kinds kinds = Kinds::all());
OpenLibrary open_for_change(const Desk& desk);

/* The words of a search TEXT given as several arguments, joined by
 * spaces; Failure kUsage ("book search: ...", `command` naming it) when
 * they hold no letter or digit to look for. */
std::string search_text(const std::vector<std::string>& words, const char* command);

/* Tells every load problem on standard error as a warning
 * ("lendrec: warning: books.csv:3: cause"), pointing to `lendrec check`. */
void warn(const Library& lib);

/* Tells on standard error, as warnings, the lines of the history that
 * could not be read, pointing to `lendrec check`. */
void warn_history(const std::vector<Problem>& problems);

/* Commits the library's changes: refuses with Failure kFiles, writing
 * nothing, when a touched file had a line the loader refused or ignored,
 * or could not be read; once written, warns (unless `quiet`) of what
 * loading told and of what tidying after the commit could not do. */
void commit(Library& lib, bool quiet = false);

/* Makes `run(*args, desk)` the desk's action when `command` is chosen. */
template <typename Args>
void bind(CLI::App* command, Desk& desk, std::shared_ptr<Args> args,
          void (*run)(const Args&, const Desk&))
{
    command->callback(
        [&desk, args, run] { desk.action = [&desk, args, run] { run(*args, desk); }; });
}

} // namespace desk

#endif
