/*
 * commit_record_test.cpp - recovery's judgement of the commit record left
 * in a library folder: rolled forward when complete, dropped when cut
 * short, kept aside (never applied, never deleted) when it is not a commit
 * record at all.
 */
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "commit.hpp"
#include "fileset.hpp"

namespace {

namespace fs = std::filesystem;

enum class Outcome { rolled_forward, dropped, kept_aside };

struct Case {
    const char* name;
    std::string record;
    Outcome outcome;
};

const Case kCases[] = {
    {"complete, two files",
     "lendrec commit 1\nbooks.csv.new books.csv\nloans.csv.new loans.csv\nend\n",
     Outcome::rolled_forward},
    {"header cut", "lendrec com", Outcome::dropped},
    {"cut in a line", "lendrec commit 1\nbooks.csv.new boo", Outcome::dropped},
    {"no end line", "lendrec commit 1\nbooks.csv.new books.csv\n", Outcome::dropped},
    {"another header", "lendrec commit 2\nbooks.csv.new books.csv\nend\n", Outcome::kept_aside},
    {"CR LF lines", "lendrec commit 1\r\nbooks.csv.new books.csv\r\nend\r\n", Outcome::kept_aside},
    {"a path outside", "lendrec commit 1\n../books.csv.new books.csv\nend\n", Outcome::kept_aside},
    {"staged and target apart", "lendrec commit 1\nusers.csv.new books.csv\nend\n",
     Outcome::kept_aside},
    {"text after end", "lendrec commit 1\nbooks.csv.new books.csv\nend\nx", Outcome::kept_aside},
    {"a cut line that is no line", "lendrec commit 1\nrm -rf", Outcome::kept_aside},
    {"bytes", std::string("\xff\xfe\0\x01", 4), Outcome::kept_aside},
};

std::string read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

class CommitRecord : public testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        /* One folder per case, in the build tree: cases may run at once. */
        folder_ = fs::current_path() / "commit_record" /
                  testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        for (const char* name : {"books.csv", "loans.csv"}) {
            write(folder_ / name, "old");
            write(folder_ / (std::string(name) + ".new"), "new");
        }
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_;
};

TEST_P(CommitRecord, IsRolledForwardDroppedOrKeptAside)
{
    const Case& c = GetParam();
    write(folder_ / desk::fileset::kCommit, c.record);
    std::vector<std::string> notices = desk::recover_folder(folder_.string());

    EXPECT_FALSE(fs::exists(folder_ / desk::fileset::kCommit));
    EXPECT_FALSE(fs::exists(folder_ / "books.csv.new"));
    EXPECT_FALSE(fs::exists(folder_ / "loans.csv.new"));
    bool two = c.record.find("loans.csv.new loans.csv") != std::string::npos;
    switch (c.outcome) {
    case Outcome::rolled_forward:
        EXPECT_EQ(read(folder_ / "books.csv"), "new");
        EXPECT_EQ(read(folder_ / "loans.csv"), two ? "new" : "old");
        EXPECT_TRUE(notices.empty());
        break;
    case Outcome::dropped:
        EXPECT_EQ(read(folder_ / "books.csv"), "old");
        EXPECT_TRUE(notices.empty());
        break;
    case Outcome::kept_aside:
        EXPECT_EQ(read(folder_ / "books.csv"), "old");
        EXPECT_EQ(read(folder_ / "loans.csv"), "old");
        EXPECT_EQ(read(folder_ / "lendrec.commit.bad-1"), c.record);
        EXPECT_EQ(read(folder_ / "lendrec.commit.bad-1.books.csv"), "new");
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_NE(notices[0].find("kept as lendrec.commit.bad-1"), std::string::npos) << notices[0];
        break;
    }
}

std::string case_name(const testing::TestParamInfo<Case>& info)
{
    std::string name;
    for (const char* p = info.param.name; *p != '\0'; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Recovery, CommitRecord, testing::ValuesIn(kCases), case_name);

} // namespace
