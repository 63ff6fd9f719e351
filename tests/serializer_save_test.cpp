/*
 * Saving a record file never loses the previous one: write failures, files
 * the caller may not write, symbolic links, directories, and the permission
 * bits of replaced and new files. POSIX only: failures come from a small
 * file size limit in a forked child, refusals from dropping to nobody.
 */
#include <gtest/gtest.h>

#ifndef _WIN32

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "record_files.hpp"

using namespace lendrec_test;

namespace {

constexpr const char* kPrevious = "1,Old,Book,Kept,1,1\n2";

std::vector<BookRow> many_books(size_t count, size_t title_size)
{
    std::vector<BookRow> books;
    for (size_t i = 0; i < count; ++i)
        books.push_back(
            {i, std::string(title_size, static_cast<char>('a' + i % 26)), "A", "G", i, i});
    return books;
}

mode_t mode_of(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace

TEST(RecordFileSave, AFailedWriteReturnsFalseKeepsThePreviousFileAndLeavesNoTemporary)
{
    TempDir dir;
    const std::string path = dir.file("books.csv");
    const std::string reference = dir.file("reference.csv");
    RecordList<Books> list(many_books(300, 4000));
    ASSERT_TRUE(serializer_save_books(reference.c_str(), list.get(), 301));
    const std::string content = read_file(reference);
    std::filesystem::remove(reference);
    const rlim_t size = content.size();
    ASSERT_GT(size, rlim_t{1} << 20);

    for (rlim_t limit : {rlim_t{0}, rlim_t{1}, rlim_t{4096}, (rlim_t{1} << 20) - 1, rlim_t{1} << 20,
                         size - 1, size}) {
        write_file(path, kPrevious);
        int status = run_in_child([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit rl {
                limit, limit
            };
            if (setrlimit(RLIMIT_FSIZE, &rl) != 0)
                return 3;
            return serializer_save_books(path.c_str(), list.get(), 301) ? 0 : 1;
        });
        const bool fits = limit >= size;
        EXPECT_TRUE(exited_with(status, fits ? 0 : 1))
            << "limit " << limit << ", status " << status;
        EXPECT_EQ(read_file(path), fits ? content : std::string(kPrevious)) << "limit " << limit;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"books.csv"}) << "limit " << limit;
    }
}

/* A read-only file in an open directory, or a file open to everyone in a
 * directory that refuses new entries (so no replacement can be written
 * beside it): the save is refused and the file left as it was. */
TEST(RecordFileSave, AFileOrDirectoryTheCallerMayNotWriteIsRefusedAndLeftAsItWas)
{
    const struct {
        const char* what;
        mode_t file, dir;
    } cases[] = {{"a read-only file", 0444, 0777}, {"a directory closed to new files", 0666, 0555}};
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = dir.file("books.csv");
        write_file(path, kPrevious);
        ASSERT_EQ(chmod(path.c_str(), c.file), 0);
        ASSERT_EQ(chmod(dir.path().c_str(), c.dir), 0);
        RecordList<Books> list(many_books(2, 5));
        const int status = save_as_nobody(path, list.get(), 9);
        if (exited_with(status, kCannotDrop))
            GTEST_SKIP() << "running as root and cannot switch to user nobody";
        EXPECT_TRUE(exited_with(status, 1)) << c.what << ": status " << status;
        EXPECT_EQ(read_file(path), kPrevious) << c.what;
        EXPECT_EQ(mode_of(path), c.file) << c.what;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"books.csv"}) << c.what;
    }
}

TEST(RecordFileSave, ASymbolicLinkStaysALinkAndTheFileItNamesIsReplaced)
{
    struct Row {
        const char* what;
        std::vector<std::pair<std::string, std::string>> links; /* name -> target */
        std::string replaced;                                   /* file that gets the records */
    };
    const Row rows[] = {
        {"a relative link", {{"link.csv", "real.csv"}}, "real.csv"},
        {"a link into a subdirectory", {{"link.csv", "sub/real.csv"}}, "sub/real.csv"},
        {"an absolute link", {{"link.csv", "@/real.csv"}}, "real.csv"},
        {"a chain of links",
         {{"link.csv", "sub/mid.csv"}, {"sub/mid.csv", "real.csv"}},
         "sub/real.csv"},
        {"a dangling link", {{"link.csv", "new.csv"}}, "new.csv"},
    };
    for (const Row& row : rows) {
        TempDir dir;
        std::filesystem::create_directory(dir.path() / "sub");
        write_file(dir.file("real.csv"), kPrevious);
        write_file(dir.file("sub/real.csv"), kPrevious);
        for (const auto& [name, target] : row.links) {
            std::string to = target[0] == '@' ? dir.path().string() + target.substr(1) : target;
            std::filesystem::create_symlink(to, dir.path() / name);
        }
        ASSERT_TRUE(save_file<Books>(dir.file("link.csv"), many_books(2, 3), 5)) << row.what;
        const std::string expected = record_text({"0,aaa,A,G,0,0", "1,bbb,A,G,1,1", "5"});
        EXPECT_EQ(read_file(dir.file(row.replaced)), expected) << row.what;
        for (const auto& [name, target] : row.links) {
            EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / name)) << row.what;
        }
        for (const char* other : {"real.csv", "sub/real.csv"}) {
            if (row.replaced != other) {
                EXPECT_EQ(read_file(dir.file(other)), kPrevious) << row.what;
            }
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
            std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "sub" || name.ends_with(".csv")) << row.what << ": stray " << name;
        }
        EXPECT_EQ(load_file<Books>(dir.file("link.csv")).last_id, 5u) << row.what;
    }
}

TEST(RecordFileSave, ALinkLoopADirectoryAPipeOrAMissingDirectoryIsRefused)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "shelf");
    std::filesystem::create_symlink("loop.csv", dir.path() / "loop.csv");
    ASSERT_EQ(mkfifo(dir.file("pipe.csv").c_str(), 0666), 0);
    for (const char* name : {"loop.csv", "shelf", "shelf/", "pipe.csv", "missing/books.csv"}) {
        EXPECT_FALSE(save_file<Books>(dir.file(name), many_books(1, 3), 2)) << name;
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "shelf"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "shelf"));
    EXPECT_TRUE(std::filesystem::is_fifo(dir.path() / "pipe.csv"));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"loop.csv", "pipe.csv", "shelf"}));
}

TEST(RecordFileSave, AReplacedFileKeepsItsModeAndOwnerAndANewOneGetsWhatTheUmaskAllows)
{
    TempDir dir;
    const std::string path = dir.file("books.csv");
    for (mode_t mode : {0600u, 0640u, 0604u, 0664u, 0750u}) {
        write_file(path, kPrevious);
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        ASSERT_TRUE(save_file<Books>(path, many_books(1, 3), 2));
        EXPECT_EQ(mode_of(path), mode);
        EXPECT_EQ(read_file(path), record_text({"0,aaa,A,G,0,0", "2"}));
    }
    if (running_as_root()) {
        ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
        ASSERT_TRUE(save_file<Books>(path, many_books(1, 3), 3));
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, kNobody);
        EXPECT_EQ(st.st_gid, kNobody);
    }
    for (mode_t mask : {022u, 077u, 002u, 0u}) {
        std::filesystem::remove(path);
        const mode_t before = umask(mask);
        const bool saved = save_file<Books>(path, {}, 1);
        umask(before);
        ASSERT_TRUE(saved);
        EXPECT_EQ(mode_of(path), 0666u & ~mask) << "umask " << mask;
    }
}

#else /* _WIN32 */

/* What these tests need does not exist on Windows; the refusals Windows has
 * (the read-only attribute, files held open) are in cross_platform_test.cpp. */
TEST(RecordFileSave, FailuresLinksAndPermissionBitsAreExercisedOnPosixSystemsOnly)
{
    GTEST_SKIP() << "needs a POSIX file size limit in a forked child, permission bits, a switch "
                    "to another user, symbolic links, named pipes and the umask";
}

#endif /* _WIN32 */
