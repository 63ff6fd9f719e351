/*
 * history_checks.cpp - the history against the records.
 */
#include "history_checks.hpp"
#include "staff.hpp"

#include <optional>

#include <fmt/format.h>

#include "id_map.hpp"
#include "text.hpp"

namespace desk {

namespace {

/* What the history tells of one loan. */
struct Told {
    bool lent = false, removed = false;
    std::optional<Day> returned;
    std::size_t renewals = 0;

    bool operator==(const Told&) const = default;
};

/* Every loan the history names, and the first loan it covers (none when it
 * has not begun). */
struct Story {
    IdMap<Told> loans;
    std::optional<std::size_t> first_loan;
};

void tell(Story& story, const Entry& entry)
{
    if (entry.action == Action::started) {
        story.first_loan = entry.loan;
        return;
    }
    if (entry.loan == 0)
        return;
    Told& told = story.loans.at(entry.loan);
    switch (entry.action) {
    case Action::checkout:
        told.lent = true;
        break;
    case Action::returned:
        told.returned = entry.date;
        break;
    case Action::renewed:
        ++told.renewals;
        break;
    case Action::loan_removed:
        told.removed = true;
        break;
    default:
        break;
    }
}

class HistoryChecker {
public:
    HistoryChecker(const Library& lib, CheckReport& report) : lib_(lib), report_(report) {}

    void run(const Story& story)
    {
        const std::size_t first = *story.first_loan;
        for (Borrow loan : lib_.loans().all())
            if (borrow_get_id(loan) >= first)
                record_against_history(loan, story);
        story.loans.each_id([this](std::size_t id, const Told& told) {
            if (told.lent && !told.removed && lib_.loans().find(id) == nullptr)
                rule(fileset::kHistory, fmt::format("{} lends loan {}, which {} does not hold",
                                                    fileset::kHistory, id, lib_.loans().name()));
        });
    }

    /* The renewals of each open loan as the history counts them. */
    static Renewals counted_renewals(const Library& lib, const Story& story)
    {
        Renewals renewals;
        for (Borrow loan : lib.open_loans())
            if (const Told& told = story.loans.get(borrow_get_id(loan)); told.renewals > 0)
                renewals.of_loan[borrow_get_id(loan)] = told.renewals;
        return renewals;
    }

private:
    void record_against_history(Borrow loan, const Story& story)
    {
        const std::size_t id = borrow_get_id(loan);
        const Told& told = story.loans.get(id);
        if (!told.lent)
            rule(fileset::kHistory,
                 fmt::format("loan {} has no check-out in {}", id, fileset::kHistory));
        if (borrow_has_returned(loan) && !told.returned)
            rule(fileset::kHistory, fmt::format("loan {} is returned, but {} holds no return of it",
                                                id, fileset::kHistory));
        if (!borrow_has_returned(loan) && told.returned)
            rule(fileset::kHistory, fmt::format("loan {} is open, but {} returned it on {}", id,
                                                fileset::kHistory, format_date(*told.returned)));
    }

    void rule(const char* file, std::string message)
    {
        report_.findings.push_back({file, 0, "rule", std::move(message)});
    }

    const Library& lib_;
    CheckReport& report_;
};

/* The renewals file against the history's count, each difference a
 * finding, or, with `mend`, mended. */
void check_renewals(const Library& lib, Library* mend, const Renewals& counted, CheckReport& report)
{
    const Renewals& kept = lib.renewals();
    if (kept.problems.empty() && kept.of_loan == counted.of_loan)
        return;
    if (mend != nullptr) {
        std::erase_if(report.findings,
                      [](const Finding& f) { return f.file == fileset::kRenewals; });
        mend->renewals().of_loan = counted.of_loan;
        mend->renewals().problems.clear();
        mend->renewals().touched = true;
        report.repaired.push_back(fmt::format("{}: the renewals of open loans counted from {}",
                                              fileset::kRenewals, fileset::kHistory));
        return;
    }
    for (const auto& [loan, count] : counted.of_loan)
        if (kept.count(loan) != count)
            report.findings.push_back(
                {fileset::kRenewals, 0, "rule",
                 fmt::format("loan {} was renewed {} in {}, but {} says {}", loan,
                             text::counted(count, "time", "times"), fileset::kHistory,
                             fileset::kRenewals, kept.count(loan))});
    for (const auto& [loan, count] : kept.of_loan)
        if (counted.count(loan) == 0)
            report.findings.push_back(
                {fileset::kRenewals, 0, "rule",
                 fmt::format("{} counts renewals of loan {}, which {} never renewed while open",
                             fileset::kRenewals, loan, fileset::kHistory)});
}

} // namespace

void check_history(const Library& lib, Library* mend, CheckReport& report)
{
    Story story;
    story.loans.reserve(lib.loans().next_id());
    for (const Problem& problem :
         lib.read_history([&story](const Entry& entry) { tell(story, entry); }))
        report.findings.push_back({fileset::kHistory, problem.line, problem_kind(problem.kind),
                                   describe(fileset::kHistory, problem)});
    if (!story.first_loan)
        return; /* no history yet: nothing to hold the records to */
    HistoryChecker(lib, report).run(story);
    check_renewals(lib, mend, HistoryChecker::counted_renewals(lib, story), report);
}

CheckReport check_with_history(const Library& lib)
{
    CheckReport report = check_library(lib);
    check_history(lib, nullptr, report);
    check_staff(lib, false, report);
    return report;
}

} // namespace desk
