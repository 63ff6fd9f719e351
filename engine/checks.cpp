/*
 * checks.cpp - the library's findings, its repairs, and the refusal of
 * change while anything is found.
 */
#include "checks.hpp"
#include "staff.hpp"

#include <algorithm>
#include <unordered_map>

#include <fmt/format.h>

#include "failure.hpp"
#include "history_checks.hpp"
#include "text.hpp"

namespace desk {
namespace {

/* How many findings a refusal names before "and N more". */
constexpr std::size_t kNamed = 5;

using text::counted;

/* Why each kind of finding waits for a person. */
constexpr const char* kDuplicates = "duplicate identifiers: which record keeps the identifier "
                                    "needs a person; mend by hand";
constexpr const char* kMissing = "loans naming a book or user that does not exist: the missing "
                                 "record cannot be guessed; mend by hand";
constexpr const char* kMissingHold = "holds naming a book or user that does not exist: cancel "
                                     "them (`lendrec hold cancel`)";
constexpr const char* kOverlent = "books with more open loans than copies: whether the copies or "
                                  "the loans are wrong needs a person; mend by hand";
constexpr const char* kNotUtf8 = "text that is not UTF-8: its characters cannot be guessed; mend "
                                 "by hand";

class Checker {
public:
    /* `mend` is `lib` when repairing, else null. */
    Checker(const Library& lib, Library* mend) : lib_(lib), mend_(mend), suspects_(lib.suspects())
    {}

    CheckReport run()
    {
        each_table(lib_.tables(), [this](const auto& records) { file_problems(records); });
        desk_file_problems();
        if (mend_ != nullptr)
            each_table(mend_->tables(), [this](const auto& records) { resave_changed(records); });
        identifiers(lib_.books());
        identifiers(lib_.users());
        identifiers(lib_.loans());
        loan_names();
        shelves();
        hold_names();
        texts();
        return std::move(report_);
    }

private:
    template <typename Handle>
    void file_problems(const Records<Handle>& records)
    {
        bool blocking = false;
        for (const Problem& problem : records.problems) {
            report_.findings.push_back({records.name(), problem.line, problem_kind(problem.kind),
                                        describe(records.name(), problem)});
            blocking = blocking || blocks_saving(problem);
        }
        if (blocking && mend_ != nullptr)
            not_repaired(fmt::format("{} holds lines that saving would lose; mend them by hand "
                                     "first",
                                     records.name()));
    }

    /* The policy's and the renewals' (which a repair counts again from the
     * history: history_checks.hpp). */
    void desk_file_problems()
    {
        for (const FileProblem& p : lib_.file_problems()) {
            if (fileset::desk_file(p.file) == nullptr && p.file != fileset::kPolicy)
                continue;
            report_.findings.push_back(
                {p.file, p.problem.line, "refused", describe(p.file, p.problem)});
            if (mend_ != nullptr && p.file == fileset::kPolicy)
                not_repaired(fmt::format("{} holds what the desk cannot read as a policy: "
                                         "mend it by hand",
                                         fileset::kPolicy));
        }
    }

    /* A file whose lines were only changed in loading is saved as loaded. */
    template <typename Handle>
    void resave_changed(const Records<Handle>& records)
    {
        if (records.problems.empty() || !may_repair(records))
            return;
        std::erase_if(report_.findings, [&records](const Finding& f) {
            return f.file == records.name() && f.kind == "changed";
        });
        const_cast<Records<Handle>&>(records).touch(); /* `mend_`'s own table */
        report_.repaired.push_back(
            fmt::format("{}: lines the loader changed saved as loaded", records.name()));
    }

    /* True when repairing and saving `records` loses nothing. */
    template <typename Handle>
    bool may_repair(const Records<Handle>& records) const
    {
        return mend_ != nullptr && std::none_of(records.problems.begin(), records.problems.end(),
                                                [](const Problem& p) { return blocks_saving(p); });
    }

    template <typename Handle>
    void identifiers(const Records<Handle>& records)
    {
        const std::vector<std::size_t> duplicated = records.duplicated_ids();
        if (!duplicated.empty()) {
            std::unordered_map<std::size_t, std::size_t> times;
            for (std::size_t id : duplicated)
                times[id] = 0;
            for (Handle record : records.all())
                if (auto it = times.find(id_of(record)); it != times.end())
                    ++it->second;
            for (std::size_t id : duplicated)
                rule(records.name(),
                     fmt::format("{} {} appears {} times", records.what(), id, times[id]),
                     kDuplicates);
        }
        const std::size_t highest = records.highest_id();
        if (records.all().empty() || highest < records.next_id())
            return;
        if (may_repair(records) && highest < SIZE_MAX) {
            report_.repaired.push_back(fmt::format("{}: next identifier {} -> {}", records.name(),
                                                   records.next_id(), highest + 1));
            table_of(records).set_next_id(highest + 1);
            return;
        }
        rule(records.name(),
             fmt::format("{} {} is not below the next identifier {} (the trailer)", records.what(),
                         highest, records.next_id()),
             nullptr);
    }

    void loan_names()
    {
        for (Borrow loan : suspects_ ? suspects_->loans : lib_.loans().all()) {
            if (names_exist(lib_, loan))
                continue;
            const char* state = borrow_has_returned(loan) ? "returned" : "open";
            const std::size_t book = borrow_get_book_id(loan), user = borrow_get_user_id(loan);
            if (lib_.books().find(book) == nullptr)
                rule(lib_.loans().name(),
                     fmt::format("{} loan {} names book {}, which does not "
                                 "exist",
                                 state, borrow_get_id(loan), book),
                     kMissing);
            if (lib_.users().find(user) == nullptr)
                rule(lib_.loans().name(),
                     fmt::format("{} loan {} names user {}, who does not "
                                 "exist",
                                 state, borrow_get_id(loan), user),
                     kMissing);
        }
    }

    /* The shelf holds the copies less those lent less those set aside for
     * waiting holds. */
    void shelves()
    {
        const bool mend = may_repair(lib_.books());
        std::unordered_map<std::size_t, std::size_t> aside;
        for (const Hold& hold : lib_.holds().rows)
            if (hold.state == HoldState::waiting)
                ++aside[hold.book];
        for (Book book : lib_.books().all()) {
            const std::size_t open = lib_.open_loans_of_book(book_get_id(book)).size();
            const auto found = aside.find(book_get_id(book));
            const std::size_t held = found == aside.end() ? 0 : found->second;
            const std::size_t copies = book_get_quantity(book), shelf = book_get_available(book);
            if (open + held <= copies && shelf == copies - open - held)
                continue;
            const std::string name =
                fmt::format("book {} ({})", book_get_id(book), book_get_title(book));
            const std::string lent =
                counted(open, "open loan", "open loans") +
                (held == 0 ? "" : " and " + counted(held, "copy set aside", "copies set aside"));
            if (open + held > copies) {
                rule(lib_.books().name(),
                     fmt::format("{} has {} but owns only {}", name, lent,
                                 counted(copies, "copy", "copies")),
                     kOverlent);
            } else if (mend) {
                book_set_available(book, copies - open - held);
                mend_->books().touch();
                report_.repaired.push_back(
                    fmt::format("{}: shelf count {} -> {}", name, shelf, copies - open - held));
            } else {
                rule(lib_.books().name(),
                     fmt::format("{} has {} on the shelf, but {} less {} leave {}", name, shelf,
                                 counted(copies, "copy", "copies"), lent, copies - open - held),
                     nullptr);
            }
        }
    }

    /* Every hold still queued or waiting names a book and a user. */
    void hold_names()
    {
        for (const Hold& hold : lib_.holds().rows) {
            if (!hold.active())
                continue;
            if (lib_.books().find(hold.book) == nullptr)
                rule(fileset::kHolds,
                     fmt::format("hold {} names book {}, which does not exist", hold.id, hold.book),
                     kMissingHold);
            if (lib_.users().find(hold.user) == nullptr)
                rule(fileset::kHolds,
                     fmt::format("hold {} names user {}, who does not exist", hold.id, hold.user),
                     kMissingHold);
        }
    }

    void texts()
    {
        for (Book book : suspects_ ? suspects_->books : lib_.books().all()) {
            if (texts_are_utf8(book))
                continue;
            utf8(lib_.books(), book_get_id(book), "title", book_get_title(book));
            utf8(lib_.books(), book_get_id(book), "author", book_get_author(book));
            utf8(lib_.books(), book_get_id(book), "genre", book_get_genre(book));
        }
        for (User user : suspects_ ? suspects_->users : lib_.users().all()) {
            if (texts_are_utf8(user))
                continue;
            utf8(lib_.users(), user_get_id(user), "name", user_get_name(user));
            utf8(lib_.users(), user_get_id(user), "address", user_get_address(user));
            utf8(lib_.users(), user_get_id(user), "phone", user_get_phone(user));
        }
    }

    template <typename Handle>
    void utf8(const Records<Handle>& records, std::size_t id, const char* field, const char* value)
    {
        if (!text::is_utf8(value))
            rule(records.name(),
                 fmt::format("{} {}'s {} is not UTF-8 text", records.what(), id, field), kNotUtf8);
    }

    /* The table of `mend_` that `records` is (they are the same object). */
    template <typename Handle>
    Records<Handle>& table_of(const Records<Handle>& records)
    {
        return const_cast<Records<Handle>&>(records);
    }

    /* A rule that does not hold; `why` says why repair leaves it (null:
     * the file's own sentence says so). */
    void rule(const std::string& file, std::string sentence, const char* why)
    {
        report_.findings.push_back({file, 0, "rule", std::move(sentence)});
        if (why != nullptr && mend_ != nullptr)
            not_repaired(why);
    }

    void not_repaired(const std::string& sentence)
    {
        if (std::find(report_.not_repaired.begin(), report_.not_repaired.end(), sentence) ==
            report_.not_repaired.end())
            report_.not_repaired.push_back(sentence);
    }

    const Library& lib_;
    Library* mend_;
    /* Taken before a repair changes anything; null: walk every record. */
    const Library::Suspects* suspects_;
    CheckReport report_;
};

} // namespace

bool texts_are_utf8(Book book)
{
    return text::is_utf8(book_get_title(book)) && text::is_utf8(book_get_author(book)) &&
           text::is_utf8(book_get_genre(book));
}

bool texts_are_utf8(User user)
{
    return text::is_utf8(user_get_name(user)) && text::is_utf8(user_get_address(user)) &&
           text::is_utf8(user_get_phone(user));
}

bool names_exist(const Library& lib, Borrow loan)
{
    return lib.books().find(borrow_get_book_id(loan)) != nullptr &&
           lib.users().find(borrow_get_user_id(loan)) != nullptr;
}

CheckReport check_library(const Library& lib)
{
    return Checker(lib, nullptr).run();
}

CheckReport repair_library(Library& lib)
{
    CheckReport report = Checker(lib, &lib).run();
    check_history(lib, &lib, report);
    check_staff(lib, true, report);
    std::string mended;
    for (const std::string& line : report.repaired)
        mended += (mended.empty() ? "" : "; ") + line;
    if (!mended.empty())
        lib.record({.action = Action::repaired, .date = today(), .note = mended});
    return report;
}

nlohmann::json to_json(const CheckReport& report)
{
    nlohmann::json findings = nlohmann::json::array();
    for (const Finding& f : report.findings)
        findings.push_back({{"file", f.file},
                            {"kind", f.kind},
                            {"line", f.line != 0 ? nlohmann::json(f.line) : nlohmann::json()},
                            {"message", f.message}});
    return {{"ok", report.ok()},
            {"findings", std::move(findings)},
            {"repaired", report.repaired},
            {"not_repaired", report.not_repaired}};
}

void refuse_unless_sound(const Library& lib)
{
    const CheckReport report = check_library(lib);
    if (report.ok())
        return;
    std::string named;
    const std::size_t shown = std::min(report.findings.size(), kNamed);
    for (std::size_t i = 0; i < shown; ++i)
        named += report.findings[i].message + "; ";
    if (report.findings.size() > shown)
        named += fmt::format("and {} more; ", report.findings.size() - shown);
    throw Failure(kFiles,
                  fmt::format("the library's files hold {}: {}nothing was changed; run "
                              "`lendrec check`",
                              counted(report.findings.size(), "problem", "problems"), named));
}

std::vector<std::string> commit_unless_unread(Library& lib)
{
    std::string refusal;
    each_table(lib.tables(), [&refusal](const auto& records) {
        if (!records.touched() || !refusal.empty())
            return;
        for (const Problem& problem : records.problems)
            if (blocks_saving(problem))
                refusal += describe(records.name(), problem) + "\nlendrec: ";
        if (!refusal.empty())
            refusal += fmt::format("refusing to write over {}, which holds what it could not "
                                   "read; nothing was changed; run `lendrec check`",
                                   records.name());
    });
    if (!refusal.empty())
        throw Failure(kFiles, refusal);
    return lib.commit();
}

} // namespace desk
