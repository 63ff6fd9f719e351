/*
 * folder_store.cpp - the library folder of record files as a store.
 */
#include "folder_store.hpp"

#include <filesystem>
#include <new>

#include <fmt/format.h>

#include "commit.hpp"
#include "failure.hpp"
#include "fileset.hpp"
#include "lock.hpp"

namespace desk {

namespace fs = std::filesystem;

namespace {

bool exists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(path, ec);
}

/* True when the folder holds any record file or a commit record. */
bool is_library(const std::string& folder)
{
    for (const fileset::RecordFile& file : fileset::record_files())
        if (exists(fileset::in(folder, file.name)))
            return true;
    return exists(fileset::in(folder, fileset::kCommit));
}

class FolderStore : public Store {
public:
    FolderStore(std::string folder, Access access, unsigned timeout)
        : folder_(std::move(folder)), lock_(folder_, access == Access::change, timeout)
    {
        if (recovery_needed(folder_)) {
            lock_.make_exclusive();
            recover_folder(folder_);
        }
    }

    void load(Tables& tables) override
    {
        each_table(tables, [this](auto& records) { load_file(records); });
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
            files.push_back({records.name(), [save, list, next](const std::string& path) {
                                 return save(path.c_str(), list, next);
                             }});
        });
        if (files.empty())
            return {};
        commit_files(folder_, files);
        return {};
    }

    std::vector<std::string> notices() const override { return {}; }

    std::string where() const override { return "'" + folder_ + "'"; }

private:
    template <typename Handle>
    void load_file(Records<Handle>& records)
    {
        std::string path = fileset::in(folder_, records.name());
        records.missing = !exists(path);
        if (records.missing) {
            records.problems.push_back({0, SERIALIZER_NOT_READ, "the file is missing"});
            return;
        }
        auto tell = [](std::size_t line, serializer_problem_t kind, const char* cause,
                       void* args) {
            static_cast<std::vector<Problem>*>(args)->push_back({line, kind, cause});
        };
        auto load = fileset::record_file(records.kind()).load;
        std::size_t next = load(path.c_str(), records.list(), tell, &records.problems);
        if (next == 0)
            throw std::bad_alloc();
        records.loaded(next);
    }

    std::string folder_;
    LibraryLock lock_;
};

} // namespace

std::unique_ptr<Store> open_folder_store(const std::string& folder, Access access,
                                         unsigned lock_timeout_seconds)
{
    if (!is_library(folder))
        throw Failure(kRefused, fmt::format("'{}' is not a library (it holds no books.csv, "
                                            "users.csv or loans.csv); make one with "
                                            "`lendrec init`", folder));
    return std::make_unique<FolderStore>(folder, access, lock_timeout_seconds);
}

void create_folder_library(const std::string& folder, unsigned lock_timeout_seconds)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        throw Failure(kWrite, fmt::format("cannot make the folder '{}': {}", folder, ec.message()));
    LibraryLock lock(folder, true, lock_timeout_seconds);
    recover_folder(folder);
    std::vector<StagedFile> files;
    for (const fileset::RecordFile& file : fileset::record_files()) {
        if (exists(fileset::in(folder, file.name)))
            throw Failure(kRefused, fmt::format("'{}' is already a library (it holds {})",
                                                folder, file.name));
        auto save = file.save;
        files.push_back({file.name, [save](const std::string& path) {
                             List list = list_new();
                             bool ok = list != nullptr && save(path.c_str(), list, 1);
                             list_delete(list, [](void*) {});
                             return ok;
                         }});
    }
    commit_files(folder, files);
}

} // namespace desk
