/*
 * export.cpp - `lendrec export books|users|loans [FILE] [--excel]`: the
 * engine's CSV text (export.hpp) written to a file or standard output.
 */
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "commands.hpp"
#include "export.hpp"
#include "fileset.hpp"
#include "output.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace desk {
namespace {

struct ExportArgs {
    std::string kind, file;
    bool excel = false;
};

/* Refuses a target that is one of the library's own files: exporting over
 * it would destroy the records. */
void refuse_library_file(const std::string& folder, const std::string& file)
{
    std::error_code error;
    std::vector<std::string> names{fileset::kLock, fileset::kCommit};
    for (const fileset::RecordFile& record : fileset::record_files())
        names.push_back(record.name);
    for (const std::string& own : names) {
        const std::filesystem::path path = std::filesystem::path(folder) / own;
        if (std::filesystem::equivalent(file, path, error))
            throw Failure(kRefused,
                          fmt::format("{} is the library's own {}; export elsewhere", file, own));
    }
}

/* Where the rows go: the file, or standard output for an empty name. */
void export_to(const std::string& file, const std::function<void(TextSink&)>& write_rows)
{
    if (file.empty()) {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY); /* the rows' line ends as written */
#endif
        TextSink out = standard_output(); /* main checks standard output at exit */
        write_rows(out);
        return;
    }
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    const std::string refusal = fmt::format("{} could not be written", file);
    std::unique_ptr<std::FILE, Closer> target(std::fopen(file.c_str(), "wb"));
    if (!target)
        throw Failure(kWrite, refusal);
    TextSink out([&target, &refusal](std::string_view piece) {
        if (std::fwrite(piece.data(), 1, piece.size(), target.get()) != piece.size())
            throw Failure(kWrite, refusal);
    });
    write_rows(out);
    if (std::fclose(target.release()) != 0)
        throw Failure(kWrite, refusal);
}

void run_export(const ExportArgs& args, const Desk& desk)
{
    const Day day = today();
    auto lib = open_for_reading(desk);
    if (!args.file.empty())
        refuse_library_file(desk.folder(), args.file);
    const ExportKind kind = args.kind == "books"   ? ExportKind::books
                            : args.kind == "users" ? ExportKind::users
                                                   : ExportKind::loans;
    export_to(args.file, [&](TextSink& out) { export_csv(*lib, kind, day, args.excel, out); });
}

} // namespace

void add_export_command(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<ExportArgs>();
    CLI::App* out = app.add_subcommand("export", "Write books, users or loans as a spreadsheet's "
                                                 "CSV file");
    out->add_option("what", args->kind, "books, users or loans")
        ->required()
        ->check(CLI::IsMember({"books", "users", "loans"}));
    out->add_option("file", args->file, "The CSV file to write (default: standard output)");
    out->add_flag("--excel", args->excel,
                  "Add the byte order mark and CR LF row ends a "
                  "spreadsheet needs, and shield cells it would run as "
                  "formulas with an apostrophe");
    bind(out, desk, args, run_export);
}

} // namespace desk
