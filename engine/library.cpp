/*
 * library.cpp - the open library and its indexes of open loans.
 */
#include "library.hpp"

#include <algorithm>
#include <new>

#include "checks.hpp"
#include "failure.hpp"

namespace desk {

Library::Library(std::unique_ptr<Store> store) : store_(std::move(store)) {}

std::unique_ptr<Library> Library::open(std::unique_ptr<Store> store, Kinds kinds)
{
    std::unique_ptr<Library> lib(new Library(std::move(store)));
    each_table(lib->tables_,
               [kinds](auto& records) { records.not_loaded = !kinds.has(records.kind()); });
    if (kinds.has_history())
        lib->store_->read_history_ahead();
    lib->store_->load(lib->tables_, [&lib](fileset::Kind kind) { lib->index(kind); });
    lib->has_history_ = lib->store_->has_history();
    lib->signature_ = lib->store_->signature();
    lib->first_new_loan_ = lib->tables_.loans.next_id();
    Store::StoredPolicy stored = lib->store_->policy();
    if (!stored.problem.empty())
        lib->policy_.problems.push_back({0, stored.problem});
    else if (stored.text)
        lib->policy_ = read_policy(*stored.text);
    return lib;
}

/* Each table's one walk also asks each record the rules about it, while it
 * is at hand; the loans' finds the open ones. */
void Library::index(fileset::Kind kind)
{
    switch (kind) {
    case fileset::Kind::books:
        tables_.books.index_loaded([this](Book book) { suspect_if_unsound(book); });
        break;
    case fileset::Kind::users:
        tables_.users.index_loaded([this](User user) { suspect_if_unsound(user); });
        break;
    case fileset::Kind::loans:
        tables_.loans.index_loaded([this](Borrow loan) {
            if (!borrow_has_returned(loan))
                open_.push_back(loan);
            suspect_if_unsound(loan);
        });
        open_by_book_.build(open_, tables_.books.all().size());
        open_by_user_.build(open_, tables_.users.all().size());
        break;
    }
}

void Library::suspect_if_unsound(Book book) const
{
    if (!texts_are_utf8(book))
        suspects_.books.push_back(book);
}

void Library::suspect_if_unsound(User user) const
{
    if (!texts_are_utf8(user))
        suspects_.users.push_back(user);
}

void Library::suspect_if_unsound(Borrow loan) const
{
    if (!names_exist(*this, loan))
        suspects_.loans.push_back(loan);
}

namespace {

/* The suspects of one table as of its records now: those still breaking
 * a rule (`sound` false), then the records added or changed since the
 * last commit that break one, in file order. False when that cannot be
 * told without a walk: a record was removed (the list may hold it, loans
 * may name it), or a new suspect's place in a file not in identifier
 * order is unknown. The books and users go first: the loans' rule asks
 * them. */
template <typename Handle, typename Sound>
bool keep_of_table(const Records<Handle>& records, std::vector<Handle>& suspects, Sound sound)
{
    if (records.removed_any())
        return false;
    std::erase_if(suspects, sound);
    const std::size_t kept = suspects.size();
    for (Handle record : records.news())
        if (!sound(record))
            suspects.push_back(record);
    if (suspects.size() == kept)
        return true;
    if (!records.in_id_order())
        return false;
    std::sort(suspects.begin(), suspects.end(),
              [](Handle a, Handle b) { return id_of(a) < id_of(b); });
    suspects.erase(std::unique(suspects.begin(), suspects.end()), suspects.end());
    return true;
}

} // namespace

bool Library::keep_suspects()
{
    return keep_of_table(tables_.books, suspects_.books,
                         [](Book book) { return texts_are_utf8(book); }) &&
           keep_of_table(tables_.users, suspects_.users,
                         [](User user) { return texts_are_utf8(user); }) &&
           keep_of_table(tables_.loans, suspects_.loans,
                         [this](Borrow loan) { return names_exist(*this, loan); });
}

const Library::Suspects* Library::suspects() const
{
    bool pending = false;
    each_table(tables_, [&pending](const auto& records) {
        pending = pending || records.touched() || records.not_loaded;
    });
    if (pending)
        return nullptr;
    if (suspects_lost_) {
        suspects_ = {};
        each_table(tables_, [this](const auto& records) {
            for (auto record : records.all())
                suspect_if_unsound(record);
        });
        suspects_lost_ = false;
    }
    return &suspects_;
}

bool Library::changed() const
{
    bool touched = tables_.renewals.touched || tables_.holds.touched || tables_.fines.touched ||
                   !tables_.new_history.empty();
    each_table(tables_,
               [&touched](const auto& records) { touched = touched || records.touched(); });
    return touched;
}

std::span<const Borrow> Library::open_loans_of_book(std::size_t book_id) const
{
    return open_by_book_.of(book_id);
}

std::span<const Borrow> Library::open_loans_of_user(std::size_t user_id) const
{
    return open_by_user_.of(user_id);
}

bool Library::add_loan(Borrow loan)
{
    if (!tables_.loans.add(loan))
        return false;
    if (!borrow_has_returned(loan)) {
        open_.push_back(loan);
        open_by_book_.add(loan);
        open_by_user_.add(loan);
    }
    return true;
}

void Library::close_loan(Borrow loan)
{
    borrow_return(loan);
    std::erase(open_, loan);
    open_by_book_.drop(loan);
    open_by_user_.drop(loan);
    tables_.loans.changed(loan);
}

std::vector<FileProblem> Library::file_problems() const
{
    std::vector<FileProblem> all;
    each_table(tables_, [&all](const auto& records) {
        for (const Problem& problem : records.problems)
            all.push_back({records.name(), problem});
    });
    for (const Problem& problem : tables_.renewals.problems)
        all.push_back({fileset::kRenewals, problem});
    for (const Problem& problem : tables_.holds.problems)
        all.push_back({fileset::kHolds, problem});
    for (const Problem& problem : tables_.fines.problems)
        all.push_back({fileset::kFines, problem});
    for (const PolicyProblem& problem : policy_.problems)
        all.push_back({fileset::kPolicy, {problem.line, SERIALIZER_REFUSED, problem.cause}});
    return all;
}

void Library::record(Entry entry)
{
    entry.at = now_utc();
    entry.clerk = clerk_;
    tables_.new_history.push_back(std::move(entry));
}

Store::StoredStaff Library::staff_text() const
{
    if (!store_)
        throw Failure(kWrite, "the library was closed before its staff file was read");
    return store_->staff_text();
}

std::vector<Problem> Library::read_history(const std::function<void(const Entry&)>& visit) const
{
    if (!store_)
        throw Failure(kWrite, "the library was closed before its history was read");
    if (!history_)
        if (std::optional<ReadHistory> read = store_->take_history())
            history_ = std::make_unique<ReadHistory>(std::move(*read));
    return history_ ? history_->visit(visit) : store_->history(visit);
}

void Library::attach_store(std::unique_ptr<Store> store)
{
    if (!store || store_ || signature_.empty() || store->signature() != signature_ ||
        !tables_.new_history.empty())
        throw Failure(kWrite, "the library changed on disk since it was read; nothing was changed");
    store_ = std::move(store);
}

std::vector<std::string> Library::commit()
{
    if (!store_)
        throw Failure(kWrite, "the library was closed before its changes were saved");
    each_table(tables_, [](const auto& records) {
        if (records.not_loaded)
            throw Failure(kWrite, "the library was opened for reading without " + records.name() +
                                      "; nothing was saved");
    });
    std::vector<Entry>& lines = tables_.new_history;
    if (!has_history_ && !lines.empty()) {
        lines.insert(lines.begin(), history_begins(first_new_loan_, lines.front().date, clerk_));
    }
    std::vector<std::string> warnings = store_->commit(tables_);
    signature_ = store_->signature();
    has_history_ = has_history_ || !lines.empty();
    lines.clear();
    history_.reset(); /* it has new lines now */
    tables_.renewals.touched = tables_.holds.touched = tables_.fines.touched = false;
    suspects_lost_ = suspects_lost_ || !keep_suspects();
    each_table(tables_, [](auto& records) { records.settle(); });
    return warnings;
}

} // namespace desk
