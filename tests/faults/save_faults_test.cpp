/*
 * Saves whose fsync or rename fails: a save that cannot flush its new file
 * or put it in place reports false, leaves the old file as it was and no
 * temporary beside it. Flushing the directory after the rename is the one
 * step a save may not fail on: the new file is in place by then.
 */
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "failing_calls.hpp"
#include "record_files.hpp"

using namespace lendrec_test;
using faults::Call;

namespace {

struct FailingCall {
    const char* what;
    Call call;
    size_t nth;
    int error;
    bool saved; /* what the save answers */
};

const FailingCall kFailingCalls[] = {
    {"flushing the new file", Call::fsync, 1, EIO, false},
    {"flushing the new file, disk full", Call::fsync, 1, ENOSPC, false},
    {"putting the new file in place", Call::rename, 1, EIO, false},
    {"putting the new file in place, target busy", Call::rename, 1, EBUSY, false},
    {"flushing the directory after the rename", Call::fsync, 2, EIO, true},
};

template <typename Kind>
class SaveFaultOf : public ::testing::Test {};

/* Two records of each kind, quoted texts among them. */
template <typename Kind>
std::vector<typename Kind::Row> two_rows();
template <>
std::vector<BookRow> two_rows<Books>()
{
    return {{1, "Tales, volume 1", "A \"quoted\" author", "Poetry", 3, 2},
            {2, "Atlas", "B", "Maps", 1, 1}};
}
template <>
std::vector<UserRow> two_rows<Users>()
{
    return {{1, "Doe, Jane", "1 Main Road", "+35 12 345 67 89"},
            {2, "Ada", "Row 2", "+44 20 123 45 67"}};
}
template <>
std::vector<LoanRow> two_rows<Loans>()
{
    return {{1, 1, 2, "01/02/2020", "15/02/2020", true},
            {2, 2, 1, "31/12/1999", "01/01/2000", false}};
}

using Kinds = ::testing::Types<Books, Users, Loans>;
TYPED_TEST_SUITE(SaveFaultOf, Kinds);

TYPED_TEST(SaveFaultOf, AFailedFlushOrRenameKeepsTheOldFileAndLeavesNoTemporary)
{
    TempDir dir;
    const std::string path = dir.file("records.csv");
    const std::string old_file = "1,kept,as,it,was\n7";
    const auto rows = two_rows<TypeParam>();
    RecordList<TypeParam> list(rows);
    ASSERT_TRUE(TypeParam::save(path.c_str(), list.get(), 3));
    const std::string new_file = read_file(path);

    for (const FailingCall& fault : kFailingCalls) {
        write_file(path, old_file);
        faults::fail_call(fault.call, fault.nth, fault.error);
        const bool saved = TypeParam::save(path.c_str(), list.get(), 3);
        const bool failed = faults::call_failed();
        faults::restore_calls();
        ASSERT_TRUE(failed) << fault.what << ": the save never made that call";
        EXPECT_EQ(saved, fault.saved) << fault.what;
        EXPECT_EQ(read_file(path), fault.saved ? new_file : old_file) << fault.what;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"records.csv"}) << fault.what;
        EXPECT_EQ(list.rows(), rows) << fault.what;
    }
}

} // namespace
