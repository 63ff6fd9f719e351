/*
 * shared.cpp - helpers every command uses.
 */
#include "commands.hpp"

#include <cstdio>

#include <fmt/format.h>

#include "checks.hpp"
#include "fileset.hpp"
#include "folder_store.hpp"
#include "search.hpp"

namespace desk {

void KeptUntilExit::operator()(Library* lib) const
{
    /* Held from a place that lives as long as the process, so that leak
     * checkers see the records as still in use. */
    static auto* kept = new std::vector<Library*>;
    lib->close_store();
    kept->push_back(lib);
}

OpenLibrary open_library(const Desk& desk, Access access, Kinds kinds)
{
    return OpenLibrary(
        Library::open(open_folder_store(desk.folder(), access, lock_timeout_seconds()), kinds)
            .release());
}

OpenLibrary open_for_reading(const Desk& desk, Kinds kinds)
{
    auto lib = open_library(desk, Access::read, kinds);
    warn(*lib);
    /* The records stay in memory; the lock goes at once, so that an answer
     * read slowly (a pager, a slow disk) never holds other clerks up. */
    lib->close_store();
    return lib;
}

OpenLibrary open_for_change(const Desk& desk)
{
    std::string clerk = clerk_name(desk.clerk_option);
    auto lib = open_library(desk, Access::change);
    lib->set_clerk(std::move(clerk));
    refuse_unless_sound(*lib);
    return lib;
}

std::string search_text(const std::vector<std::string>& words, const char* command)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    if (search_words(text).empty())
        throw Failure(
            kUsage, fmt::format("{}: TEXT holds no word to look for (letters or digits)", command));
    return text;
}

void warn(const Library& lib)
{
    for (const std::string& notice : lib.notices())
        std::fprintf(stderr, "lendrec: warning: %s\n", notice.c_str());
    std::vector<FileProblem> problems = lib.file_problems();
    for (const FileProblem& p : problems)
        std::fprintf(stderr, "lendrec: warning: %s\n", describe(p.file, p.problem).c_str());
    if (!problems.empty())
        std::fprintf(stderr, "lendrec: warning: run `lendrec check` for the library's health\n");
}

void warn_history(const std::vector<Problem>& problems)
{
    for (const Problem& problem : problems)
        std::fprintf(stderr, "lendrec: warning: %s\n",
                     describe(fileset::kHistory, problem).c_str());
    if (!problems.empty())
        std::fprintf(stderr, "lendrec: warning: run `lendrec check` for the library's health\n");
}

void commit(Library& lib, bool quiet)
{
    for (const std::string& warning : commit_unless_unread(lib))
        std::fprintf(stderr, "lendrec: warning: %s\n", warning.c_str());
    if (!quiet)
        warn(lib);
}

} // namespace desk
