/*
 * commit.cpp - the commit record and recovery; the system calls are in
 * platform_*.cpp.
 */
#include "commit.hpp"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include <fmt/format.h>

#include "failure.hpp"
#include "fileset.hpp"
#include "platform.hpp"

namespace desk {

namespace {

const char* const kRecord = fileset::kCommit;
const char* const kRecordDraft = fileset::kCommitDraft;
const char* const kHeader = "lendrec commit 1";
const char* const kEnd = "end";
const char* const kStagedSuffix = ".new";
/* The record names every file the library holds; not for the world. */
const unsigned kRecordMode = 0640;

using fileset::in;

bool exists(const std::string& path)
{
    return platform::examine(path).kind != platform::Kind::missing;
}

std::string staged_name(const std::string& target)
{
    return target + kStagedSuffix;
}

/* A core temporary or staged file beside a committed file:
 * `books.csv.new`, `books.csv.1a2b3c4d` or `books.csv.new.1a2b3c4d`. */
bool is_leftover(const std::string& name)
{
    for (std::string_view committed : fileset::committed_names()) {
        std::string base = std::string(committed) + ".";
        if (name.compare(0, base.size(), base) != 0)
            continue;
        std::string rest = name.substr(base.size());
        if (rest.compare(0, 4, "new.") == 0)
            rest = rest.substr(4);
        if (rest == "new")
            return true;
        if (rest.size() == 8 && rest.find_first_not_of("0123456789abcdef") == std::string::npos)
            return true;
    }
    return false;
}

std::vector<std::string> leftovers(const std::string& folder)
{
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        if (is_leftover(name) || name == kRecordDraft)
            found.push_back(name);
    }
    return found;
}

/* One step of a commit: rename `staged` over `target`, or, with `at`,
 * add the text of `staged` to `target` cut back to `at` bytes. */
struct Step {
    std::string staged, target;
    std::optional<std::uint64_t> at;
};
using Steps = std::vector<Step>;

/* A commit record as read: complete (its steps), cut short (no "end"
 * line; every whole line so far well formed), or unreadable (why). */
struct RecordRead {
    enum { complete, cut_short, unreadable } state;
    Steps steps;
    std::string why;
};

bool is_appended(std::string_view name)
{
    const fileset::DeskFile* file = fileset::desk_file(name);
    return file != nullptr && file->writing == fileset::Writing::appended;
}

/* "books.csv.new books.csv"; an appended file's line goes on " +SIZE". */
std::string line_start(std::string_view name)
{
    return staged_name(std::string(name)) + " " + std::string(name);
}

bool all_digits(std::string_view text)
{
    return !text.empty() && text.size() <= 19 &&
           text.find_first_not_of("0123456789") == std::string_view::npos;
}

/* The step a record line asks for, its target one of the committed files. */
std::optional<Step> step_of(const std::string& line)
{
    for (std::string_view name : fileset::committed_names()) {
        const std::string start = line_start(name);
        if (!is_appended(name) && line == start)
            return Step{staged_name(std::string(name)), std::string(name), std::nullopt};
        const std::string sized = start + " +";
        if (is_appended(name) && line.starts_with(sized) && all_digits(line.substr(sized.size())))
            return Step{staged_name(std::string(name)), std::string(name),
                        std::stoull(line.substr(sized.size()))};
    }
    return std::nullopt;
}

/* True when `piece`, the unfinished last line `number` of a record, is
 * the start of a line the record could hold there. */
bool could_begin(const std::string& piece, std::size_t number, bool ended)
{
    auto begins = [&piece](const std::string& line) {
        return piece.size() <= line.size() && line.compare(0, piece.size(), piece) == 0;
    };
    if (ended)
        return false;
    if (number == 1)
        return begins(kHeader);
    if (begins(kEnd))
        return true;
    for (std::string_view name : fileset::committed_names()) {
        const std::string start = line_start(name) + (is_appended(name) ? " +" : "");
        if (begins(start))
            return true;
        if (is_appended(name) && piece.starts_with(start) &&
            all_digits(std::string_view(piece).substr(start.size())))
            return true;
    }
    return false;
}

RecordRead read_record(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(file), {});
    if (!file.good() && !file.eof())
        return {RecordRead::unreadable, {}, "it could not be read"};
    RecordRead read{RecordRead::cut_short, {}, {}};
    std::size_t number = 0;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = text.substr(at, end - at);
        ++number;
        if (read.state == RecordRead::complete)
            return {RecordRead::unreadable, {}, "it goes on after its \"end\" line"};
        if (number == 1 && line != kHeader)
            return {
                RecordRead::unreadable, {}, fmt::format("its first line is not \"{}\"", kHeader)};
        if (number == 1)
            continue;
        if (line == kEnd) {
            read.state = RecordRead::complete;
        } else if (auto step = step_of(line)) {
            read.steps.push_back(*step);
        } else {
            return {RecordRead::unreadable,
                    {},
                    fmt::format("line {} names no staged record file", number)};
        }
    }
    std::size_t last_end = text.rfind('\n');
    std::string rest = text.substr(last_end == std::string::npos ? 0 : last_end + 1);
    if (!rest.empty() && !could_begin(rest, number + 1, read.state == RecordRead::complete))
        return {RecordRead::unreadable, {}, "its last line is not part of a commit record"};
    return read;
}

/* Takes one step whose staged file is still present: a rename, or the
 * staged text added to its target, then the staged file removed. */
bool take_step(const std::string& folder, const Step& step)
{
    if (!step.at)
        return platform::rename_over(in(folder, step.staged), in(folder, step.target));
    std::string text;
    {
        /* Closed before the staged file is removed: Windows will not
         * remove a file that is open. */
        std::ifstream file(in(folder, step.staged), std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(file), {});
        if (!file.good() && !file.eof())
            return false;
    }
    const fileset::DeskFile* desk = fileset::desk_file(step.target);
    return platform::append_durably(in(folder, step.target), text, *step.at,
                                    desk != nullptr ? desk->new_mode : 0640) &&
           platform::remove_file(in(folder, step.staged));
}

/* Takes every step whose staged file is still present, then removes the
 * record; the first step that fails, described, or nothing. */
std::optional<std::string> roll_forward(const std::string& folder, const Steps& steps)
{
    for (const Step& step : steps)
        if (exists(in(folder, step.staged)) && !take_step(folder, step))
            return fmt::format("cannot {} {} to {}: {}", step.at ? "add" : "rename", step.staged,
                               step.target, platform::last_error());
    platform::sync_folder(folder);
    if (!platform::remove_file(in(folder, kRecord)))
        return fmt::format("cannot remove the commit record {}: {}", kRecord,
                           platform::last_error());
    platform::sync_folder(folder);
    return std::nullopt;
}

void must(bool ok, const std::string& what)
{
    if (!ok)
        throw Failure(kWrite, fmt::format("{}: {}", what, platform::last_error()));
}

/* Moves an unreadable record, and the staged files beside it, out of the
 * way under a name of their own; the sentence telling so. */
std::string keep_aside(const std::string& folder, const std::string& why)
{
    std::string kept;
    for (int n = 1; kept.empty() || exists(in(folder, kept)); ++n)
        kept = fmt::format("{}.bad-{}", kRecord, n);
    must(platform::rename_over(in(folder, kRecord), in(folder, kept)),
         fmt::format("cannot keep aside {} as {}", kRecord, kept));
    std::string also;
    for (std::string_view name : fileset::committed_names()) {
        std::string staged = staged_name(std::string(name));
        std::string beside = kept + "." + std::string(name);
        if (!exists(in(folder, staged)))
            continue;
        must(platform::rename_over(in(folder, staged), in(folder, beside)),
             fmt::format("cannot keep aside {} as {}", staged, beside));
        also += fmt::format(", with {} as {}", staged, beside);
    }
    platform::sync_folder(folder);
    return fmt::format("{} could not be read as a commit record ({}); kept as {}{} and left "
                       "unapplied",
                       kRecord, why, kept, also);
}

/* Removes every staged file of `files` and the record draft; the first
 * failure's reason was taken before. */
void discard_staged(const std::string& folder, const std::vector<StagedFile>& files)
{
    platform::remove_file(in(folder, kRecordDraft));
    for (const StagedFile& file : files)
        platform::remove_file(in(folder, staged_name(file.name)));
}

/* Saves each file under its staged name, carrying the old file's mode and
 * owner; throws kWrite with nothing changed. */
void stage(const std::string& folder, const std::vector<StagedFile>& files)
{
    for (const StagedFile& file : files) {
        std::string staged = in(folder, staged_name(file.name));
        bool prepared = platform::prepare_staged(staged, in(folder, file.name), file.new_mode);
        if (!prepared || !file.save(staged)) {
            std::string why = prepared ? platform::system_error() : platform::last_error();
            discard_staged(folder, files);
            throw Failure(kWrite,
                          fmt::format("cannot write {}: {}; nothing was changed", file.name, why));
        }
    }
}

/* Writes the record and renames it into place: the decision point. Throws
 * kWrite, with nothing changed, when it cannot. */
void decide(const std::string& folder, const std::vector<StagedFile>& files)
{
    std::string record = std::string(kHeader) + "\n";
    for (const StagedFile& file : files)
        record += line_start(file.name) +
                  (file.append_at ? fmt::format(" +{}", *file.append_at) : "") + "\n";
    record += std::string(kEnd) + "\n";
    if (!platform::write_durably(in(folder, kRecordDraft), record, kRecordMode) ||
        !platform::rename_over(in(folder, kRecordDraft), in(folder, kRecord))) {
        std::string why = platform::last_error();
        discard_staged(folder, files);
        throw Failure(kWrite, fmt::format("cannot write the commit record: {}; "
                                          "nothing was changed",
                                          why));
    }
    platform::sync_folder(folder);
}

} // namespace

std::vector<std::string> commit_files(const std::string& folder,
                                      const std::vector<StagedFile>& files)
{
    stage(folder, files);
    decide(folder, files);
    Steps steps;
    for (const StagedFile& file : files)
        steps.push_back({staged_name(file.name), file.name, file.append_at});
    if (auto failed = roll_forward(folder, steps))
        return {fmt::format("the change is made; tidying the folder failed: {}; the next "
                            "lendrec command finishes it",
                            *failed)};
    return {};
}

bool recovery_needed(const std::string& folder)
{
    return exists(in(folder, kRecord)) || !leftovers(folder).empty();
}

std::vector<std::string> recover_folder(const std::string& folder)
{
    std::vector<std::string> notices;
    if (exists(in(folder, kRecord))) {
        RecordRead record = read_record(in(folder, kRecord));
        if (record.state == RecordRead::complete) {
            if (auto failed = roll_forward(folder, record.steps))
                throw Failure(kWrite, "cannot finish the last commit: " + *failed);
        } else if (record.state == RecordRead::cut_short) {
            must(platform::remove_file(in(folder, kRecord)),
                 "cannot remove the unfinished commit record");
        } else {
            notices.push_back(keep_aside(folder, record.why));
        }
    }
    for (const std::string& name : leftovers(folder))
        must(platform::remove_file(in(folder, name)), fmt::format("cannot remove {}", name));
    platform::sync_folder(folder);
    return notices;
}

} // namespace desk
