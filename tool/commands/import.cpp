/*
 * import.cpp - `lendrec import books|users FILE [--dry-run] [--skip-bad]`.
 *
 * The spreadsheet is read whole and every row made into a record in memory
 * by the engine (import.hpp); only when every row went in (or --skip-bad
 * leaves the bad ones out) is the library committed, in one commit: all
 * rows or none.
 */
#include <cstdio>
#include <memory>

#include <fmt/format.h>

#include "commands.hpp"
#include "import.hpp"

namespace desk {
namespace {

struct ImportArgs {
    std::string kind, file;
    bool dry_run = false, skip_bad = false;
};

/* The summary line closing the report. */
std::string summary(const ImportArgs& args, const ImportReport& report)
{
    return fmt::format("{}: {} added, {} merged, {} updated, {} unchanged, {} changed, {} "
                       "skipped{}\n",
                       args.kind, report.added, report.merged, report.updated, report.unchanged,
                       report.changed, args.skip_bad ? report.refused : 0,
                       args.dry_run ? " (dry run: nothing written)" : "");
}

/* The command: read, import in memory, report, then commit or refuse. */
void run_import(const ImportArgs& args, const Desk& desk)
{
    std::string error;
    const auto bytes = sheet::read_file(args.file, error);
    if (!bytes)
        throw Failure(kRefused, fmt::format("{}: {}", args.file, error));
    const sheet::Sheet sheet = sheet::parse(*bytes);
    auto lib = args.dry_run ? open_for_reading(desk) : open_for_change(desk);
    const ImportKind kind = args.kind == "books" ? ImportKind::books : ImportKind::users;
    const ImportReport report = import_sheet(*lib, kind, sheet, args.file);
    std::fputs(report.text.c_str(), stdout);
    std::fflush(stdout);
    refuse_partial_import(report, args.skip_bad, " (--skip-bad leaves them out)");
    if (!args.dry_run)
        commit(*lib);
    std::fputs(summary(args, report).c_str(), stdout);
}

} // namespace

void add_import_command(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<ImportArgs>();
    CLI::App* import = app.add_subcommand("import", "Bring books or users in from a spreadsheet's "
                                                    "CSV file");
    import->add_option("what", args->kind, "books or users")
        ->required()
        ->check(CLI::IsMember({"books", "users"}));
    import
        ->add_option("file", args->file,
                     "The CSV file (header row first; an id column "
                     "updates those records)")
        ->required();
    import->add_flag("--dry-run", args->dry_run, "Print the report and change nothing");
    import->add_flag("--skip-bad", args->skip_bad,
                     "Leave refused rows out instead of refusing the import");
    bind(import, desk, args, run_import);
}

} // namespace desk
