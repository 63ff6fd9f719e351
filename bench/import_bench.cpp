/*
 * import_bench.cpp - `lendrec import books` of a big spreadsheet against the
 * core's own handling of a record file of the same size.
 *
 *   Import/books/<n>   read and parse an n-row spreadsheet CSV, open an empty
 *                      library under its lock, make every row a book, commit;
 *                      baseline: the core loading an n-book record file plus
 *                      one save of that list. Target ratio: 2.
 *
 * The spreadsheet (import-<n>.csv), the record file and the library folder
 * stay in bench::record_dir().
 */
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "book.h"
#include "harness.hpp"
#include "fileset.hpp"
#include "folder_store.hpp"
#include "import.hpp"
#include "library.hpp"
#include "list.h"
#include "serializer.h"
#include "spreadsheet.hpp"

namespace {

namespace fs = std::filesystem;

constexpr double kTarget = 2.0;

/* A spreadsheet of n distinct books, as a spreadsheet writes it: header,
 * columns in its own order, an extra column, the odd quoted title. */
std::string spreadsheet(std::size_t n)
{
    static const char* const genres[] = {"Adventure", "Poetry", "History", "Science", "Crime"};
    std::mt19937 random(bench::kSeed);
    std::string text = "Title,Writer,Category,Qty,Shelf mark\r\n";
    for (std::size_t i = 1; i <= n; ++i) {
        const bool quoted = i % 10 == 0;
        /* Appended piece by piece: GCC 12 at -O3 misreads "text" + string. */
        text += quoted ? "\"Volume " : "Volume ";
        text += std::to_string(i);
        text += quoted ? ", revised\"" : "";
        text += ",Author ";
        text += std::to_string(random() % 20000);
        text += ',';
        text += genres[random() % 5];
        text += ',';
        text += std::to_string(1 + random() % 5);
        text += ",S-";
        text += std::to_string(i);
        text += "\r\n";
    }
    return text;
}

void write_text(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary)
        .write(text.data(), static_cast<std::streamsize>(text.size()));
}

/* Removes the library's record files, leaving an empty folder to create. */
void empty_library(const fs::path& folder)
{
    for (const desk::fileset::RecordFile& file : desk::fileset::record_files())
        fs::remove(folder / file.name);
    desk::create_folder_library(folder.string(), 5,
                                desk::history_begins(1, desk::today(), "bench"));
}

void bm_import(benchmark::State& state, std::size_t n)
{
    const fs::path dir = bench::record_dir();
    const fs::path csv = dir / ("import-" + std::to_string(n) + ".csv");
    const fs::path folder = dir / "import-library";
    const fs::path records = dir / ("import-books-" + std::to_string(n) + ".csv");
    const fs::path saved = dir / ("import-books-" + std::to_string(n) + "-saved.csv");
    fs::create_directories(folder);
    write_text(csv, spreadsheet(n));

    /* The record file of the same books, from an import into the library. */
    empty_library(folder);
    {
        std::string error;
        auto lib =
            desk::Library::open(desk::open_folder_store(folder.string(), desk::Access::change, 5));
        desk::import_sheet(*lib, desk::ImportKind::books,
                           desk::sheet::parse(*desk::sheet::read_file(csv.string(), error)),
                           "bench");
        lib->commit();
    }
    fs::copy_file(folder / desk::fileset::record_file(desk::fileset::Kind::books).name, records,
                  fs::copy_options::overwrite_existing);

    /* As on the baseline's side, releasing the records is not timed. */
    std::unique_ptr<desk::Library> lib;
    bench::Side subject;
    subject.prepare = [&] { empty_library(folder); };
    subject.run = [&] {
        std::string error;
        const auto bytes = desk::sheet::read_file(csv.string(), error);
        const desk::sheet::Sheet sheet = desk::sheet::parse(*bytes);
        lib =
            desk::Library::open(desk::open_folder_store(folder.string(), desk::Access::change, 5));
        const desk::ImportReport report =
            desk::import_sheet(*lib, desk::ImportKind::books, sheet, "bench");
        lib->commit();
        if (report.added != n)
            state.SkipWithError("the import did not add every row");
    };
    subject.finish = [&] { lib.reset(); };

    List books = nullptr;
    bench::Side baseline;
    baseline.prepare = [&] { books = list_new(); };
    baseline.run = [&] {
        const std::size_t next = serializer_load_books(records.string().c_str(), books);
        if (!serializer_save_books(saved.string().c_str(), books, next))
            state.SkipWithError("the core could not save");
    };
    baseline.finish = [&] {
        list_delete(books, book_deleter);
        books = nullptr;
    };
    bench::compare(state, static_cast<double>(n), subject, baseline, kTarget);
}

[[maybe_unused]] const bool registered = [] {
    for (std::size_t n : {std::size_t{1000}, std::size_t{100000}})
        benchmark::RegisterBenchmark(bench::name({"Import", "books", std::to_string(n)}).c_str(),
                                     bm_import, n)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace
