/*
 * export.hpp - `lendrec export books|users|loans [FILE] [--excel]`: the
 * library's records as a spreadsheet-ready CSV file.
 */
#ifndef LENDREC_TOOL_EXPORT_HPP
#define LENDREC_TOOL_EXPORT_HPP

#include <string>

#include <CLI/CLI.hpp>

#include "cli.hpp"
#include "dates.hpp"
#include "library.hpp"

namespace desk {

/* Adds `export books|users|loans [FILE] [--excel]` to the desk. */
void add_export_command(CLI::App& app, Desk& desk);

/*
 * The CSV text of one kind of record ("books", "users" or "loans"): a
 * header row, then one row per record in file order. Loans carry the
 * book's title and the user's name beside their identifiers and a status,
 * "open", "returned" or "overdue" (due before `today`). With `excel` the
 * text starts with a UTF-8 byte order mark and rows end in CR LF.
 */
std::string export_csv(const Library& lib, const std::string& kind, Day today, bool excel);

} // namespace desk

#endif
