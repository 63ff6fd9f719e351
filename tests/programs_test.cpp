/*
 * The exercise programs, run as built: their standard output, exit status,
 * assertion messages and the record file they leave behind. Each run gets
 * a fresh working directory.
 */
#include <gtest/gtest.h>

#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "record_files.hpp"

using namespace lendrec_test;

namespace {

struct ProgramRun {
    int status;
    std::string out, err;
};

/* Runs `program` with `workdir` as its working directory, its standard
 * output and error captured to files; as nobody when asked (the child exits
 * with kCannotDrop when it cannot switch). */
ProgramRun run_program(const std::string& program, const std::string& workdir,
                       bool as_nobody = false)
{
    TempDir capture;
    const std::string out = capture.file("out"), err = capture.file("err");
    int status = run_in_child([&] {
        int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out_fd < 0 || err_fd < 0 || dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0 ||
            chdir(workdir.c_str()) != 0)
            return 126;
        if (as_nobody && running_as_root() &&
            (!drop_to_nobody() || access(program.c_str(), X_OK) != 0))
            return kCannotDrop;
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        return 127;
    });
    return {status, read_file(out), read_file(err)};
}

const std::string kBookListOutput = "\nFOREACH #1\n"
                                    "Title: Moby Dick\n"
                                    "Title: Le Petit Prince\n"
                                    "Title: The Bible\n"
                                    "Title: World History\n"
                                    "\nFOREACH #2\n"
                                    "Title: Moby Dick\n"
                                    "Title: Le Petit Prince\n"
                                    "Title: How to Draw\n"
                                    "\nFOREACH #3\n"
                                    "Title: How to Draw\n"
                                    "Title: Moby Dick\n"
                                    "Title: Le Petit Prince\n";

} // namespace

TEST(BookListProgram, PrintsItsThreeWalksAndLeavesTheSameRecordFileOnEveryRun)
{
    TempDir work;
    const std::string expected_file = record_text({"1,Moby Dick,Corvin Halstrom,Adventure,13,13",
                                                   "2,Le Petit Prince,Someone,Romance,32,32",
                                                   "5,How to Draw,Me,Educational,2,2", "6"});
    for (int run = 1; run <= 2; ++run) {
        ProgramRun r = run_program(LENDREC_BOOK_LIST_ITEST, work.path().string());
        EXPECT_TRUE(exited_with(r.status, 0)) << "run " << run << ": " << r.err;
        EXPECT_EQ(r.out, kBookListOutput) << "run " << run;
        EXPECT_EQ(r.err, "") << "run " << run;
        EXPECT_EQ(read_file(work.file("test_books.csv")), expected_file) << "run " << run;
        EXPECT_EQ(work.entries(), std::vector<std::string>{"test_books.csv"}) << "run " << run;
    }
}

TEST(BookListProgram, StopsAtTheSaveAssertionWhenItsDirectoryCannotBeWritten)
{
    TempDir work;
    ASSERT_EQ(chmod(work.path().c_str(), 0555), 0);
    ProgramRun r = run_program(LENDREC_BOOK_LIST_ITEST, work.path().string(), true);
    if (exited_with(r.status, kCannotDrop))
        GTEST_SKIP() << "running as root, and user nobody cannot be switched to or cannot run "
                     << LENDREC_BOOK_LIST_ITEST;
    EXPECT_FALSE(exited_with(r.status, 0));
    EXPECT_NE(r.err.find("serializer_save_books(\"test_books.csv\", book_list, 6) == true"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(work.entries(), std::vector<std::string>{});
}

TEST(UserProgram, PrintsOnlyTheExpectedFailureLineAndExitsCleanly)
{
    TempDir work;
    ProgramRun r = run_program(LENDREC_USER_UTEST, work.path().string());
    EXPECT_TRUE(exited_with(r.status, 0)) << r.err;
    EXPECT_EQ(r.out, "Test 02 failed: Falha esperada ao definir o numero de telefone do usuario\n");
    EXPECT_EQ(work.entries(), std::vector<std::string>{});
}

#ifdef LENDREC_USER_UTEST_PATTERN
TEST(UserProgram, StopsAtItsFirstAssertionUnderThePatternRule)
{
    TempDir work;
    ProgramRun r = run_program(LENDREC_USER_UTEST_PATTERN, work.path().string());
    EXPECT_FALSE(exited_with(r.status, 0));
    EXPECT_NE(r.err.find("user != NULL && \"Erro ao criar o usuario\""), std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");
}
#endif

#endif /* !_WIN32 */
