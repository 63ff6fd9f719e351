/*
 * Record files across platforms: a file loads the same records whichever
 * platform's line ends it has, every build writes its own line end, and
 * identifiers beyond a Windows long survive. On Windows a save replaces the
 * previous file (which a plain rename does not do there) and, when Windows
 * will not let go of that file, fails and leaves it exactly as it was.
 */
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cross/record_sets.hpp"
#include "record_files.hpp"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace lendrec_test;

namespace {

const std::vector<BookRow> kBooks = {
    {1, "Moby Dick", "Corvin Halstrom", "Adventure", 13, 13},
    {4, "Cem Anos de Solidão", "Gabriel García Márquez", "Romance, Family", 3, 1},
};
const std::vector<UserRow> kUsers = {
    {1, "Alice", "Rua Tudo, 12", "+55 11 987 65 43"},
    {3, "Bob", "1 Main St", "+01 23 456 78 90"},
};
const std::vector<LoanRow> kLoans = {
    {1, 1, 4, "10/01/2025", "09/02/2025", false},
    {2, 3, 1, "31/12/1999", "01/01/2000", true},
};

/* One kind of record: a set of records and its file as Linux writes it. */
struct KindCase {
    RecordSet set;
    std::string lf_text;
};

const std::vector<KindCase>& kinds()
{
    static const std::vector<KindCase> cases = {
        {record_set<Books>("books", kBooks, 5),
         "1,Moby Dick,Corvin Halstrom,Adventure,13,13\n"
         "4,Cem Anos de Solidão,Gabriel García Márquez,\"Romance, Family\",3,1\n"
         "5"},
        {record_set<Users>("users", kUsers, 4), "1,Alice,\"Rua Tudo, 12\",+55 11 987 65 43\n"
                                                "3,Bob,1 Main St,+01 23 456 78 90\n"
                                                "4"},
        {record_set<Loans>("loans", kLoans, 3), "1,1,4,10/01/2025,09/02/2025,0\n"
                                                "2,3,1,31/12/1999,01/01/2000,1\n"
                                                "3"},
    };
    return cases;
}

} // namespace

TEST(RecordFilesAcrossPlatforms, EveryKindIsWrittenWithThisPlatformsLineEndAndLoadsFromLfOrCrLf)
{
    TempDir dir;
    const std::string path = dir.file("records.csv");
    for (const KindCase& c : kinds()) {
        SCOPED_TRACE(c.set.kind);
        ASSERT_TRUE(c.set.save(path));
        EXPECT_EQ(read_file(path), kLineEnd == "\r\n" ? with_crlf(c.lf_text) : c.lf_text);
        for (const std::string& text : {c.lf_text, with_crlf(c.lf_text)}) {
            write_file(path, text);
            EXPECT_TRUE(c.set.loads(path));
        }
    }
}

TEST(RecordFilesAcrossPlatforms, IdentifiersAndCountsBeyondAWindowsLongSurviveASaveAndLoad)
{
    constexpr size_t kBeyondLong = size_t{1} << 32; /* a Windows long is 32 bits */
    const std::vector<RecordSet> sets = {
        record_set<Books>(
            "books",
            {{kBeyondLong + 7, "Big", "Numbers", "Reference", kBeyondLong + 2, kBeyondLong + 1}},
            SIZE_MAX),
        record_set<Users>("users", {{kBeyondLong * 3, "Carol", "Far Away", "+55 11 987 65 43"}},
                          kBeyondLong * 3 + 1),
        record_set<Loans>(
            "loans",
            {{kBeyondLong, kBeyondLong * 3, kBeyondLong + 7, "01/02/2024", "15/02/2024", true}},
            kBeyondLong + 1),
    };
    TempDir dir;
    const std::string path = dir.file("records.csv");
    for (const RecordSet& set : sets) {
        SCOPED_TRACE(set.kind);
        ASSERT_TRUE(set.save(path));
        EXPECT_TRUE(set.loads(path));
    }
}

#ifdef _WIN32

namespace {

/* A book file saved once, to be saved over. */
class WindowsRecordFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(save_file<Books>(path, kBooks, 5));
        original = read_file(path);
    }

    /* The file still holds what the first save wrote, and no temporary is
     * left beside it. */
    void expect_untouched() const
    {
        EXPECT_EQ(read_file(path), original);
        EXPECT_EQ(load_file<Books>(path), (Loaded<Books>{kBooks, 5}));
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"books.csv"});
    }

    TempDir dir;
    std::string path = dir.file("books.csv");
    std::string original;
    const std::vector<BookRow> replacement = {{9, "New", "Shelf", "Misc", 1, 1}};
};

/* A way in which Windows keeps a file from being replaced: hold() starts
 * it, and the function hold() returns ends it. */
struct Hold {
    const char* how;
    std::function<std::function<void()>(const std::string& path)> hold;
};

std::function<void()> open_with_sharing(const std::string& path, DWORD share)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << "cannot open " << path << ": " << GetLastError();
    return [h] {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    };
}

const std::vector<Hold> kHolds = {
    {"the read-only attribute",
     [](const std::string& path) -> std::function<void()> {
         EXPECT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
         return [path] { SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL); };
     }},
    {"another handle open without sharing",
     [](const std::string& path) { return open_with_sharing(path, 0); }},
    {"a reader that shares reading and writing but not deleting",
     [](const std::string& path) {
         return open_with_sharing(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
     }},
};

} // namespace

TEST_F(WindowsRecordFile, ASaveReplacesTheFileThatAPlainRenameWouldNotReplace)
{
    const std::string other = dir.file("other.csv");
    write_file(other, "7");
    ASSERT_NE(std::rename(other.c_str(), path.c_str()), 0)
        << "a plain rename replaced the file: nothing here needs more than rename";
    std::remove(other.c_str());

    ASSERT_TRUE(save_file<Books>(path, replacement, 10));
    EXPECT_EQ(read_file(path), record_text({"9,New,Shelf,Misc,1,1", "10"}));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"books.csv"});
}

TEST_F(WindowsRecordFile, AHiddenFileIsReplacedAndStaysHidden)
{
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(save_file<Books>(path, replacement, 10));
    EXPECT_EQ(read_file(path), record_text({"9,New,Shelf,Misc,1,1", "10"}));
    const DWORD attributes = GetFileAttributesA(path.c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN) << std::hex << attributes;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"books.csv"});
}

TEST_F(WindowsRecordFile, ASaveThatWindowsRefusesLeavesTheFileAsItWasAndALaterSaveSucceeds)
{
    for (const Hold& h : kHolds) {
        SCOPED_TRACE(h.how);
        std::function<void()> release = h.hold(path);
        EXPECT_FALSE(save_file<Books>(path, replacement, 10));
        release();
        expect_untouched();

        ASSERT_TRUE(save_file<Books>(path, replacement, 10));
        EXPECT_EQ(load_file<Books>(path), (Loaded<Books>{replacement, 10}));
        ASSERT_TRUE(save_file<Books>(path, kBooks, 5));
    }
}

TEST(WindowsRecordFileTarget, ADirectoryOrAMissingDirectoryIsRefusedAndNothingIsLeftBehind)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "shelf");
    for (const char* name : {"shelf", "shelf\\", "missing\\books.csv", "missing/books.csv"}) {
        EXPECT_FALSE(save_file<Books>(dir.file(name), kBooks, 5)) << name;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "shelf"));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"shelf"});
}

#endif /* _WIN32 */
