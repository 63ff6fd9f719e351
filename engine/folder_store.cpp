/*
 * folder_store.cpp - the library folder of record files as a store.
 */
#include "folder_store.hpp"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <system_error>
#include <utility>
#include <new>
#include <optional>

#include <fmt/format.h>

#include "commit.hpp"
#include "failure.hpp"
#include "fileset.hpp"
#include "lock.hpp"
#include "platform.hpp"
#include "spreadsheet.hpp"
#include "text_sink.hpp"

namespace desk {

namespace fs = std::filesystem;

namespace {

/* Far beyond any library's record file: a file this large is refused by
 * its size before a byte is read. */
constexpr std::uint64_t kMaxRecordFileBytes = std::uint64_t{1} << 30;

/* The same for the policy file, which holds a few dozen lines. */
constexpr std::uint64_t kMaxPolicyBytes = std::uint64_t{1} << 20;

bool exists(const std::string& path)
{
    return platform::examine(path).kind != platform::Kind::missing;
}

/* The mode a record file is made with (less the umask): names, addresses
 * and who borrowed what are for the library's group, never the world. */
unsigned new_file_mode(fileset::Kind kind)
{
    return kind == fileset::Kind::books ? 0644 : 0640;
}

/* True when the folder holds any record file or a commit record; the first
 * such name in `found`. */
bool is_library(const std::string& folder, std::string& found)
{
    for (const fileset::RecordFile& file : fileset::record_files())
        if (exists(fileset::in(folder, file.name))) {
            found = file.name;
            return true;
        }
    found = fileset::kCommit;
    return exists(fileset::in(folder, fileset::kCommit));
}

/* Why the folder, or a record file in it, may not be written; "" when
 * every one may. */
std::string read_only_reason(const std::string& folder)
{
    if (!platform::folder_writable(folder))
        return "the folder may not be written: " + platform::last_error();
    for (std::string_view name : fileset::committed_names()) {
        std::string path = fileset::in(folder, name);
        if (exists(path) && !platform::file_writable(path))
            return fmt::format("{} may not be written: {}", name, platform::last_error());
    }
    return "";
}

/* Refuses change, before anything is touched, when the library is
 * read-only to this process. */
void require_writable(const std::string& folder)
{
    if (std::string why = read_only_reason(folder); !why.empty())
        throw Failure(kWrite, fmt::format("the library in '{}' is read-only ({}): nothing was "
                                          "changed",
                                          folder, why));
}

const char* kind_words(platform::Kind kind)
{
    switch (kind) {
    case platform::Kind::directory:
        return "a folder";
    case platform::Kind::fifo:
        return "a FIFO";
    case platform::Kind::device:
        return "a device";
    case platform::Kind::socket:
        return "a socket";
    default:
        return "not a plain file";
    }
}

/* Why the record file at `path` is not handed to the loader, or "" when
 * it may be read: not a regular file (a FIFO would block the reader), or
 * larger than any library. */
std::string unreadable_by_kind(const std::string& path)
{
    platform::FileFacts facts = platform::examine(path);
    if (facts.kind == platform::Kind::unknown)
        return platform::last_error();
    if (facts.kind != platform::Kind::regular)
        return fmt::format("is not a regular file ({})", kind_words(facts.kind));
    if (facts.size > kMaxRecordFileBytes)
        return fmt::format("is larger than {} GiB, far beyond any library",
                           kMaxRecordFileBytes >> 30);
    return "";
}

bool ends_line(const std::string& path, std::uint64_t size)
{
    std::ifstream in(path, std::ios::binary);
    char last = '\n';
    in.seekg(static_cast<std::streamoff>(size - 1));
    in.get(last);
    return last == '\n';
}

/* Gives the staged file at `path` the owner-only mode before a byte is
 * written to it: an older copy's wider mode, or a umask that leaves more,
 * is not carried into the new one. */
bool restrict_to_owner(const std::string& path)
{
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace,
                    ec);
    return !ec;
}

/* The staged file saving the desk file `name` whole with `text`; a file
 * for the owner alone is made so before its text is written. */
StagedFile whole_step(const char* name, std::string text)
{
    const unsigned mode = fileset::desk_file(name)->new_mode;
    const bool owner_only = mode == fileset::kOwnerOnly;
    return {name,
            [text = std::move(text), mode, owner_only](const std::string& staged) {
                return (!owner_only || restrict_to_owner(staged)) &&
                       platform::write_durably(staged, text, mode);
            },
            mode, std::nullopt};
}

/* The staged file adding the new lines to the history where it ends
 * now (after its first line when it is new, and on a line of their own
 * when its last line was left unfinished). */
StagedFile history_step(const std::string& folder, const std::vector<Entry>& entries)
{
    const std::string path = fileset::in(folder, fileset::kHistory);
    const std::uint64_t size = exists(path) ? platform::examine(path).size : 0;
    std::string text = size == 0 ? std::string(kHistoryHeader) + "\n" : "";
    if (size > 0 && !ends_line(path, size))
        text += "\n";
    text += collected([&entries](TextSink& out) {
        for (const Entry& entry : entries)
            write_entry(out, entry);
    });
    return {
        fileset::kHistory,
        [text](const std::string& staged) { return platform::write_durably(staged, text, 0640); },
        fileset::desk_file(fileset::kHistory)->new_mode, size};
}

class FolderStore : public Store {
public:
    FolderStore(std::string folder, Access access, unsigned timeout)
        : folder_(std::move(folder)), access_(access),
          lock_(folder_, access == Access::change, timeout)
    {
        if (!recovery_needed(folder_))
            return;
        if (access == Access::read && !platform::folder_writable(folder_)) {
            if (exists(fileset::in(folder_, fileset::kCommit)))
                notices_.push_back(fmt::format(
                    "the last commit in '{}' is unfinished and the folder may not be written "
                    "to finish it; the records are shown as they stand",
                    folder_));
            return;
        }
        lock_.make_exclusive();
        notices_ = recover_folder(folder_);
    }

    /* The loans, the longest file, are read on a thread of their own
     * while this one reads the books and the users and hands them on (the
     * core's loaders keep no state between threads): a command waits for
     * the longest file rather than for all three. Without a second
     * thread, one after another. */
    void load(Tables& tables, const Loaded& loaded) override
    {
        std::future<void> loans;
        try {
            /* No thread when there are no loans to read: a process that
             * never made one allocates without taking locks. */
            if (!tables.loans.not_loaded)
                loans = std::async(std::launch::async, [&] { load_file(tables.loans); });
        } catch (const std::system_error&) {
            loans = {};
        }
        load_file(tables.books);
        loaded(fileset::Kind::books);
        load_file(tables.users);
        loaded(fileset::Kind::users);
        load_renewals(tables.renewals);
        load_desk_table(fileset::kHolds, kHoldsHeader, tables.holds);
        load_desk_table(fileset::kFines, kFinesHeader, tables.fines);
        if (loans.valid())
            loans.get(); /* what it threw is thrown here */
        else
            load_file(tables.loans);
        loaded(fileset::Kind::loans);
    }

    std::vector<std::string> commit(const Tables& tables) override
    {
        std::vector<StagedFile> files;
        each_table(tables, [&files](const auto& records) {
            if (!records.touched())
                return;
            auto save = fileset::record_file(records.kind()).save;
            List list = records.list();
            std::size_t next = records.next_id();
            files.push_back({records.name(),
                             [save, list, next](const std::string& path) {
                                 return save(path.c_str(), list, next);
                             },
                             new_file_mode(records.kind()), std::nullopt});
        });
        if (tables.renewals.touched)
            files.push_back(whole_step(fileset::kRenewals, renewals_text(tables.renewals)));
        if (tables.holds.touched)
            files.push_back(
                whole_step(fileset::kHolds, desk_table_text(tables.holds, kHoldsHeader)));
        if (tables.fines.touched)
            files.push_back(
                whole_step(fileset::kFines, desk_table_text(tables.fines, kFinesHeader)));
        if (!tables.new_history.empty())
            files.push_back(history_step(folder_, tables.new_history));
        if (files.empty())
            return {};
        return commit_files(folder_, files);
    }

    StoredPolicy policy() override
    {
        StoredPolicy stored;
        stored.text = read_desk_file(fileset::kPolicy, kMaxPolicyBytes, stored.problem);
        return stored;
    }

    StoredStaff staff_text() override
    {
        StoredStaff stored;
        stored.text = read_desk_file(fileset::kStaff, kMaxPolicyBytes, stored.problem);
        return stored;
    }

    std::vector<std::string> write_staff_text(const std::string& text) override
    {
        if (access_ != Access::change)
            throw Failure(kRefused, fmt::format("the library in '{}' was opened for reading; "
                                                "{} is written only under its exclusive lock",
                                                folder_, fileset::kStaff));
        return commit_files(folder_, {whole_step(fileset::kStaff, text)});
    }

    bool has_history() override { return exists(fileset::in(folder_, fileset::kHistory)); }

    /* The history is parsed on a thread of its own while the record files
     * load; without one, history() reads it when asked. */
    void read_history_ahead() override
    {
        if (!has_history())
            return;
        try {
            ahead_ = std::async(std::launch::async,
                                [this] { return ReadHistory::parse(history_bytes()); });
        } catch (const std::system_error&) {
            ahead_ = {};
        }
    }

    std::optional<ReadHistory> take_history() override
    {
        if (ahead_.valid())
            read_ahead_ = ahead_.get(); /* what it threw is thrown here */
        if (read_ahead_)
            return std::exchange(read_ahead_, std::nullopt);
        if (!has_history())
            return std::nullopt;
        return ReadHistory::parse(history_bytes());
    }

    std::vector<Problem> history(const std::function<void(const Entry&)>& visit) override
    {
        if (ahead_.valid())
            read_ahead_ = ahead_.get(); /* what it threw is thrown here */
        if (read_ahead_)
            return read_ahead_->visit(visit);
        if (!has_history())
            return {};
        const platform::FileBytes bytes = history_bytes();
        return read_history(bytes.text(), visit);
    }

    std::vector<std::string> notices() const override { return notices_; }

    std::string where() const override { return "'" + folder_ + "'"; }

    std::string signature() const override { return fileset::signature(folder_); }

private:
    /* The bytes of the history file. Throws Failure kWrite when it cannot
     * be read. */
    platform::FileBytes history_bytes() const
    {
        const std::string path = fileset::in(folder_, fileset::kHistory);
        std::string why = unreadable_by_kind(path);
        platform::FileBytes bytes;
        if (why.empty() && !platform::read_whole(path, bytes))
            why = "cannot be read: " + platform::last_error();
        if (!why.empty())
            throw Failure(kWrite, fmt::format("{} {}", fileset::kHistory, why));
        return bytes;
    }

    /* The text of the desk file `name`, or none when the folder has none;
     * `why` says why one that is there could not be read (not a regular
     * file, larger than `most` bytes, a read error). */
    std::optional<std::string> read_desk_file(const char* name, std::uint64_t most,
                                              std::string& why) const
    {
        const std::string path = fileset::in(folder_, name);
        if (!exists(path))
            return std::nullopt;
        why = unreadable_by_kind(path);
        if (why.empty() && platform::examine(path).size > most)
            why = fmt::format("is larger than {} KiB, far beyond any library", most >> 10);
        if (!why.empty())
            return std::nullopt;
        std::optional<std::string> text = sheet::read_file(path, why);
        if (!text)
            why = "cannot be read: " + why;
        return text;
    }

    template <typename Row>
    void load_desk_table(const char* name, std::string_view header, DeskTable<Row>& table) const
    {
        std::string why;
        std::optional<std::string> text = read_desk_file(name, kMaxRecordFileBytes, why);
        if (!why.empty())
            table.problems.push_back({0, SERIALIZER_NOT_READ, why});
        else if (text)
            read_desk_table(*text, header, table);
    }

    void load_renewals(Renewals& renewals) const
    {
        std::string why;
        std::optional<std::string> text = read_desk_file(fileset::kRenewals, kMaxPolicyBytes, why);
        if (!why.empty())
            renewals.problems.push_back({0, SERIALIZER_NOT_READ, why});
        else if (text)
            read_renewals(*text, renewals);
    }

    template <typename Handle>
    void load_file(Records<Handle>& records)
    {
        if (records.not_loaded)
            return;
        std::string path = fileset::in(folder_, records.name());
        records.missing = !exists(path);
        if (records.missing) {
            records.problems.push_back({0, SERIALIZER_NOT_READ, "the file is missing"});
            return;
        }
        if (std::string why = unreadable_by_kind(path); !why.empty()) {
            records.problems.push_back({0, SERIALIZER_NOT_READ, why});
            return;
        }
        auto tell = [](std::size_t line, serializer_problem_t kind, const char* cause, void* args) {
            static_cast<std::vector<Problem>*>(args)->push_back({line, kind, cause});
        };
        auto load = fileset::record_file(records.kind()).load;
        std::size_t next = load(path.c_str(), records.list(), tell, &records.problems);
        if (next == 0)
            throw std::bad_alloc();
        records.loaded(next);
    }

    std::string folder_;
    Access access_;
    LibraryLock lock_;
    std::vector<std::string> notices_;
    std::future<ReadHistory> ahead_;
    std::optional<ReadHistory> read_ahead_;
};

} // namespace

std::unique_ptr<Store> open_folder_store(const std::string& folder, Access access,
                                         unsigned lock_timeout_seconds)
{
    std::string found;
    if (!is_library(folder, found))
        throw Failure(kRefused, fmt::format("'{}' is not a library (it holds no books.csv, "
                                            "users.csv or loans.csv); make one with "
                                            "`lendrec init`",
                                            folder));
    if (access == Access::change)
        require_writable(folder);
    return std::make_unique<FolderStore>(folder, access, lock_timeout_seconds);
}

std::vector<std::string> create_folder_library(const std::string& folder,
                                               unsigned lock_timeout_seconds, const Entry& started)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        throw Failure(kWrite, fmt::format("cannot make the folder '{}': {}", folder, ec.message()));
    require_writable(folder);
    LibraryLock lock(folder, true, lock_timeout_seconds);
    std::string found;
    if (is_library(folder, found))
        throw Failure(kRefused,
                      fmt::format("'{}' is already a library (it holds {})", folder, found));
    recover_folder(folder);
    std::vector<StagedFile> files;
    for (const fileset::RecordFile& file : fileset::record_files()) {
        auto save = file.save;
        files.push_back({file.name,
                         [save](const std::string& path) {
                             List list = list_new();
                             bool ok = list != nullptr && save(path.c_str(), list, 1);
                             list_delete(list, [](void*) {});
                             return ok;
                         },
                         new_file_mode(file.kind), std::nullopt});
    }
    files.push_back(history_step(folder, {started}));
    return commit_files(folder, files);
}

} // namespace desk
