/*
 * commit.cpp - the commit record and recovery, with the few file-system
 * calls they need in their POSIX and Windows forms.
 */
#include "commit.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fmt/format.h>

#include "failure.hpp"
#include "fileset.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace desk {

namespace {

const char* const kRecord = fileset::kCommit;
const char* const kRecordDraft = fileset::kCommitDraft;
const char* const kHeader = "lendrec commit 1";
const char* const kEnd = "end";

std::string in(const std::string& dir, const std::string& name)
{
    return fileset::in(dir, name);
}

#ifdef _WIN32
std::string last_error()
{
    return fmt::format("error {}", GetLastError());
}

/* Writes `text` to `path`, flushed to disk. */
bool write_durably(const std::string& path, const std::string& text)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)
              && written == text.size() && FlushFileBuffers(h);
    CloseHandle(h);
    return ok;
}

bool rename_over(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool remove_file(const std::string& path)
{
    return DeleteFileA(path.c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
}

/* Renames with MOVEFILE_WRITE_THROUGH are durable on their own. */
void sync_folder(const std::string&) {}
#else
std::string last_error()
{
    return std::strerror(errno);
}

bool write_durably(const std::string& path, const std::string& text)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size())
              && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

bool rename_over(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool remove_file(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

void sync_folder(const std::string& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}
#endif

bool exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

/* A core temporary or staged file beside a record file:
 * `books.csv.new`, `books.csv.1a2b3c4d` or `books.csv.new.1a2b3c4d`. */
bool is_leftover(const std::string& name)
{
    for (const fileset::RecordFile& record : fileset::record_files()) {
        std::string base = std::string(record.name) + ".";
        if (name.compare(0, base.size(), base) != 0)
            continue;
        std::string rest = name.substr(base.size());
        if (rest.compare(0, 4, "new.") == 0)
            rest = rest.substr(4);
        if (rest == "new")
            return true;
        if (rest.size() == 8
            && rest.find_first_not_of("0123456789abcdef") == std::string::npos)
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

/* The "STAGED TARGET" pairs of a complete record; empty when the record
 * is incomplete or not ours. */
std::vector<std::pair<std::string, std::string>> read_record(const std::string& path)
{
    std::ifstream in_file(path, std::ios::binary);
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string line;
    if (!std::getline(in_file, line) || line != kHeader)
        return {};
    while (std::getline(in_file, line)) {
        if (line == kEnd)
            return pairs;
        std::istringstream words(line);
        std::string staged, target;
        if (!(words >> staged >> target) || staged.find('/') != std::string::npos
            || target.find('/') != std::string::npos)
            return {};
        pairs.emplace_back(staged, target);
    }
    return {}; /* no end line: the record was cut short */
}

void must(bool ok, const std::string& what)
{
    if (!ok)
        throw Failure(kWrite, fmt::format("{}: {}", what, last_error()));
}

/* Renames every staged file of the record still present, then removes the
 * record. */
void roll_forward(const std::string& folder,
                  const std::vector<std::pair<std::string, std::string>>& pairs)
{
    for (const auto& [staged, target] : pairs)
        if (exists(in(folder, staged)))
            must(rename_over(in(folder, staged), in(folder, target)),
                 fmt::format("cannot rename {} to {}", staged, target));
    sync_folder(folder);
    must(remove_file(in(folder, kRecord)), "cannot remove the commit record");
    sync_folder(folder);
}

} // namespace

void commit_files(const std::string& folder, const std::vector<StagedFile>& files)
{
    std::string record = std::string(kHeader) + "\n";
    for (const StagedFile& file : files) {
        std::string staged = file.name + ".new";
        if (!file.save(in(folder, staged))) {
            std::string why = last_error();
            for (const StagedFile& done : files)
                remove_file(in(folder, done.name + ".new"));
            throw Failure(kWrite, fmt::format("cannot write {}: {}; nothing was changed",
                                              file.name, why));
        }
        record += staged + " " + file.name + "\n";
    }
    record += std::string(kEnd) + "\n";
    if (!write_durably(in(folder, kRecordDraft), record)
        || !rename_over(in(folder, kRecordDraft), in(folder, kRecord))) {
        std::string why = last_error();
        remove_file(in(folder, kRecordDraft));
        for (const StagedFile& file : files)
            remove_file(in(folder, file.name + ".new"));
        throw Failure(kWrite, fmt::format("cannot write the commit record: {}; "
                                          "nothing was changed", why));
    }
    sync_folder(folder);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const StagedFile& file : files)
        pairs.emplace_back(file.name + ".new", file.name);
    roll_forward(folder, pairs);
}

bool recovery_needed(const std::string& folder)
{
    return exists(in(folder, kRecord)) || !leftovers(folder).empty();
}

void recover_folder(const std::string& folder)
{
    if (exists(in(folder, kRecord))) {
        auto pairs = read_record(in(folder, kRecord));
        if (!pairs.empty())
            roll_forward(folder, pairs);
        else
            must(remove_file(in(folder, kRecord)), "cannot remove the unfinished commit record");
    }
    for (const std::string& name : leftovers(folder))
        must(remove_file(in(folder, name)), fmt::format("cannot remove {}", name));
    sync_folder(folder);
}

} // namespace desk
