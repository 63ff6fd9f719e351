/*
 * usage.hpp - the command line as the clerk meets it: usage mistakes told
 * in the desk's own sentences (never CLI11's), each pointing to the help
 * of the command it was made in; `lendrec help [COMMAND [SUBCOMMAND]]`;
 * and the check every DATE option gets.
 *
 * All of these work on the application once every command is added, by
 * walking its commands and options, so a new command needs nothing here.
 */
#ifndef LENDREC_TOOL_USAGE_HPP
#define LENDREC_TOOL_USAGE_HPP

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli.hpp"

namespace desk {

/* Adds `lendrec help [COMMAND [SUBCOMMAND]]`: prints what `--help` prints
 * for that command (the whole desk's when none is named); an unknown
 * command is Failure kUsage. `app` must outlive the desk's action. */
void add_help_command(CLI::App& app, Desk& desk);

/* Gives every option of type name DATE, in every command of `app`, a check
 * run as the line is read: date_option's refusals (kUsage for text that is
 * not a date, the empty text included; kRefused outside the years). */
void check_dates(CLI::App& app);

/* For a command line naming a command that does not exist where one is
 * expected ("lendrec frob", "lendrec book frob"): the sentence saying so,
 * with the help to see; "" when every command word is known. */
std::string unknown_command(const CLI::App& app, const std::vector<std::string>& args);

/* The sentence for a mistake CLI11 found while `app` read its line,
 * naming the command reached ("book add: TITLE is missing"), then a line
 * "lendrec: see `lendrec book add --help`". */
std::string usage_sentence(const CLI::App& app, const CLI::ParseError& error);

/* "see `lendrec book add --help`" for the deepest command the last parse
 * of `app` reached; "see `lendrec --help`" when none was. */
std::string see_help(const CLI::App& app);

} // namespace desk

#endif
