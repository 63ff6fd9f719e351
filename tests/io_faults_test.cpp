/*
 * Saving through file-system faults: a directory that disappears or turns
 * into a file between two saves, and saves killed at random moments. Afterwards the target holds the whole old
 * file or the whole new one, never a mix, a cut or nothing, and a save that
 * returned leaves no temporary file. POSIX only (forked children, signals,
 * dropping root to nobody).
 */
#include <gtest/gtest.h>

#ifndef _WIN32

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "record_files.hpp"

using namespace lendrec_test;

namespace {

std::vector<BookRow> shelf(size_t count, const std::string& tag)
{
    std::vector<BookRow> books;
    for (size_t i = 0; i < count; ++i)
        books.push_back({i, tag + " title, volume " + std::to_string(i), "Author \"" + tag + "\"",
                         "Genre", i % 7, i % 5 < i % 7 ? i % 5 : i % 7});
    return books;
}

/* The bytes a save of these books writes. */
std::string saved_bytes(const std::vector<BookRow>& books, size_t last_id)
{
    TempDir dir;
    EXPECT_TRUE(save_file<Books>(dir.file("books.csv"), books, last_id));
    return read_file(dir.file("books.csv"));
}

} // namespace

TEST(RecordFileIoFaults, ADirectoryThatDisappearsOrTurnsIntoAFileRefusesTheNextSave)
{
    const struct {
        const char* what;
        void (*fault)(const fs::path& shelf);
    } faults[] = {
        {"directory removed", [](const fs::path& shelf) { fs::remove_all(shelf); }},
        {"directory replaced by a file",
         [](const fs::path& shelf) {
             fs::remove_all(shelf);
             write_file(shelf.string(), "not a directory");
         }},
    };
    RecordList<Books> list(shelf(3, "new"));
    for (const auto& f : faults) {
        TempDir dir;
        const fs::path shelf_dir = dir.path() / "shelf";
        const std::string path = (shelf_dir / "books.csv").string();
        fs::create_directory(shelf_dir);
        ASSERT_TRUE(serializer_save_books(path.c_str(), list.get(), 4)) << f.what;
        f.fault(shelf_dir);
        const auto before = dir.entries();
        EXPECT_FALSE(serializer_save_books(path.c_str(), list.get(), 5)) << f.what;
        EXPECT_EQ(dir.entries(), before) << f.what << ": nothing may be created";
        EXPECT_EQ(load_file<Books>(path), (Loaded<Books>{{}, 1})) << f.what;
        /* Once the directory is back, saving works again. */
        fs::remove_all(shelf_dir);
        fs::create_directory(shelf_dir);
        EXPECT_TRUE(serializer_save_books(path.c_str(), list.get(), 6)) << f.what;
        EXPECT_EQ(load_file<Books>(path).last_id, 6u) << f.what;
    }
}

/* A child saves a large list and is killed with SIGKILL after a random
 * delay, from before the save starts to after it ends. The target must hold
 * the old or the new file, whole, each time. A killed save may leave its
 * temporary file behind; a save that returns must not. */
TEST(RecordFileIoFaults, AKilledSaveLeavesTheOldOrTheNewFileWhole)
{
    TempDir dir;
    const std::string path = dir.file("books.csv");
    const auto old_books = shelf(200, "old");
    const auto new_books = shelf(20000, "new");
    const std::string old_bytes = saved_bytes(old_books, 201);
    RecordList<Books> list(new_books);

    write_file(path, old_bytes);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(serializer_save_books(path.c_str(), list.get(), 20001));
    const auto save_time = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    const std::string new_bytes = read_file(path);
    ASSERT_NE(new_bytes, old_bytes);

    std::mt19937 random(20240607);
    std::uniform_int_distribution<long> delay(0, save_time.count() * 3 / 2 + 1000);
    int old_seen = 0, new_seen = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int i = 0; i < 50 && std::chrono::steady_clock::now() < deadline; ++i) {
        write_file(path, old_bytes);
        const auto entries = dir.entries();
        std::fflush(nullptr);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            _exit(serializer_save_books(path.c_str(), list.get(), 20001) ? 0 : 1);
        usleep(static_cast<useconds_t>(delay(random)));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (WIFEXITED(status)) {
            EXPECT_EQ(WEXITSTATUS(status), 0) << "an unhindered save failed";
            EXPECT_EQ(dir.entries(), entries) << "a save that returned left a file behind";
        }

        const std::string now = read_file(path);
        ASSERT_TRUE(now == old_bytes || now == new_bytes)
            << "iteration " << i << ": the target holds " << now.size() << " bytes, a mix or a cut";
        (now == old_bytes ? old_seen : new_seen)++;
    }
    /* Whatever killed saves left behind, a save that returns adds nothing. */
    const auto leftovers = dir.entries();
    std::printf("  killed saves: %d left the old file, %d the new one, %zu temporaries left"
                " (one save takes %lld us)\n",
                old_seen, new_seen, leftovers.size() - 1,
                static_cast<long long>(save_time.count()));
    EXPECT_EQ(load_file<Books>(path).rows, read_file(path) == new_bytes ? new_books : old_books);
    ASSERT_TRUE(serializer_save_books(path.c_str(), list.get(), 20002));
    EXPECT_EQ(dir.entries(), leftovers);
    EXPECT_EQ(load_file<Books>(path).last_id, 20002u);
}

#else

TEST(RecordFileIoFaults, AreExercisedOnPosixSystemsOnly)
{
    GTEST_SKIP() << "the file-system faults need fork, signals and POSIX permissions";
}

#endif /* !_WIN32 */
