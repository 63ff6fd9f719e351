/*
 * check.cpp - `lendrec check [--repair]`: is the library consistent?
 *
 * Reports what the loaders could not take as written (`books.csv:3:
 * cause`) and, as sentences, the rules between the files: identifiers
 * unique and below their trailer, open loans naming a book and a user that
 * exist, each shelf count equal to the copies less the open loans. With
 * --repair it fixes what needs no guessing (shelf counts, trailers) in the
 * files it may safely save, and says what it changed.
 */
#include <cstdio>
#include <map>
#include <set>
#include <memory>

#include <fmt/format.h>

#include "commands.hpp"
#include "output.hpp"

namespace desk {

namespace {

struct CheckArgs {
    bool repair = false, json = false;
};

/* One thing that does not hold. */
struct Finding {
    std::string file;
    std::size_t line; /* 0: no line */
    std::string kind; /* "refused", ..., or "rule" */
    std::string message;
};

class Checker {
public:
    Checker(Library& lib, bool repair) : lib_(lib), repair_(repair) {}

    void run()
    {
        file_problems(lib_.books());
        file_problems(lib_.users());
        file_problems(lib_.loans());
        identifiers(lib_.books(), "book", [](Book b) { return book_get_id(b); });
        identifiers(lib_.users(), "user", [](User u) { return user_get_id(u); });
        identifiers(lib_.loans(), "loan", [](Borrow l) { return borrow_get_id(l); });
        loan_names();
        shelves();
    }

    std::vector<Finding> findings;
    std::vector<std::string> repaired;
    std::set<std::string> held_back; /* files a repair would need but may not save */

private:
    template <typename Handle>
    void file_problems(const Records<Handle>& records)
    {
        for (const Problem& problem : records.problems)
            findings.push_back({records.name(), problem.line, problem_kind(problem.kind),
                                describe(records.name(), problem)});
    }

    /* A file is repaired only when saving it loses nothing. */
    template <typename Handle>
    bool may_repair(const Records<Handle>& records)
    {
        if (!repair_)
            return false;
        for (const Problem& problem : records.problems)
            if (blocks_saving(problem)) {
                held_back.insert(records.name());
                return false;
            }
        return true;
    }

    template <typename Handle, typename Id>
    void identifiers(Records<Handle>& records, const char* what, Id id_of)
    {
        std::map<std::size_t, std::size_t> seen;
        std::size_t highest = 0;
        for (Handle record : records.all()) {
            ++seen[id_of(record)];
            highest = std::max(highest, id_of(record));
        }
        for (const auto& [id, count] : seen)
            if (count > 1)
                rule(records.name(), fmt::format("{} {} appears {} times", what, id, count));
        if (seen.empty() || highest < records.next_id())
            return;
        std::string sentence = fmt::format("{} {} is not below the next identifier {} (the "
                                           "trailer)", what, highest, records.next_id());
        if (may_repair(records) && highest < SIZE_MAX) {
            repaired.push_back(fmt::format("{}: next identifier {} -> {}", records.name(),
                                           records.next_id(), highest + 1));
            records.set_next_id(highest + 1);
        } else {
            rule(records.name(), sentence);
        }
    }

    void loan_names()
    {
        /* Looked up once per open loan: sets, not walks of the lists. */
        std::set<std::size_t> books, users;
        for (Book book : lib_.books().all())
            books.insert(book_get_id(book));
        for (User user : lib_.users().all())
            users.insert(user_get_id(user));
        for (Borrow loan : lib_.loans().all()) {
            if (borrow_has_returned(loan))
                continue;
            if (!books.contains(borrow_get_book_id(loan)))
                rule("loans.csv", fmt::format("open loan {} names book {}, which does not exist",
                                              borrow_get_id(loan), borrow_get_book_id(loan)));
            if (!users.contains(borrow_get_user_id(loan)))
                rule("loans.csv", fmt::format("open loan {} names user {}, who does not exist",
                                              borrow_get_id(loan), borrow_get_user_id(loan)));
        }
    }

    void shelves()
    {
        std::map<std::size_t, std::size_t> out;
        for (Borrow loan : lib_.loans().all())
            if (!borrow_has_returned(loan))
                ++out[borrow_get_book_id(loan)];
        for (Book book : lib_.books().all()) {
            std::size_t open = out[book_get_id(book)], copies = book_get_quantity(book);
            std::string name = fmt::format("book {} ({})", book_get_id(book), book_get_title(book));
            if (open > copies) {
                rule("books.csv", fmt::format("{} has {} but owns only {}", name,
                                              counted(open, "open loan", "open loans"),
                                              counted(copies, "copy", "copies")));
                continue;
            }
            std::size_t shelf = book_get_available(book);
            if (shelf == copies - open)
                continue;
            if (may_repair(lib_.books())) {
                book_set_available(book, copies - open);
                lib_.books().touch();
                repaired.push_back(fmt::format("{}: shelf count {} -> {}", name, shelf,
                                               copies - open));
            } else {
                rule("books.csv", fmt::format("{} has {} on the shelf, but {} less {} "
                                              "leave {}", name, shelf,
                                              counted(copies, "copy", "copies"),
                                              counted(open, "open loan", "open loans"),
                                              copies - open));
            }
        }
    }

    void rule(const std::string& file, const std::string& sentence)
    {
        findings.push_back({file, 0, "rule", sentence});
    }

    Library& lib_;
    bool repair_;
};

void check(const CheckArgs& args, const Desk& desk)
{
    auto lib = open_library(desk, args.repair ? Access::change : Access::read);
    Checker checker(*lib, args.repair);
    checker.run();
    if (!checker.repaired.empty())
        commit(*lib, true);
    bool ok = checker.findings.empty();
    if (args.json) {
        nlohmann::json out = {{"ok", ok}, {"findings", nlohmann::json::array()},
                              {"repaired", checker.repaired},
                              {"not_repaired", checker.held_back}};
        for (const Finding& f : checker.findings)
            out["findings"].push_back({{"file", f.file}, {"kind", f.kind},
                                       {"line", f.line != 0 ? nlohmann::json(f.line) : nullptr},
                                       {"message", f.message}});
        print_json(out);
    } else {
        for (const Finding& f : checker.findings)
            std::printf("%s\n", f.message.c_str());
        for (const std::string& change : checker.repaired)
            std::printf("repaired: %s\n", change.c_str());
        for (const std::string& file : checker.held_back)
            std::printf("not repaired: %s holds lines that saving would lose; mend them by "
                        "hand first\n", file.c_str());
        if (ok)
            std::printf("the library is consistent: %s, %s, %s\n",
                        counted(lib->books().all().size(), "book", "books").c_str(),
                        counted(lib->users().all().size(), "user", "users").c_str(),
                        counted(lib->loans().all().size(), "loan", "loans").c_str());
    }
    if (!ok)
        throw Failure(kFiles, fmt::format("{} found{}", counted(checker.findings.size(), "problem", "problems"),
                                          args.repair ? "" : "; `lendrec check --repair` fixes "
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
