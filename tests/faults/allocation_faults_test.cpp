/*
 * Allocation failures: every operation that allocates is run with its 1st,
 * 2nd, ... allocation failing, once and for ever, until a run in which it
 * no longer reaches the failing allocation. Each run must not crash, must
 * release every block it allocated, and must either succeed or leave its
 * list, record or file exactly as before; with no failure it must succeed.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "counting_allocator.hpp"
#include "record_files.hpp"
#include "strman.h"

using namespace lendrec_test;
using faults::Mode;

namespace {

constexpr const char* kFirstUseProbe = "--first-use-probe";
size_t total_points = 0;

/* One run of a scenario: the operation under test runs with the heap armed
 * to fail its nth request; everything around it runs unarmed. */
class Injection {
public:
    Injection(size_t n, Mode mode) : n_(n), mode_(mode) {}

    template <typename Operation>
    void run(Operation&& operation)
    {
        faults::arm(n_, mode_);
        operation();
        faults::disarm();
        fired_ = faults::fired();
    }

    bool fired() const { return fired_; }

private:
    size_t n_;
    Mode mode_;
    bool fired_ = false;
};

/* Runs the scenario once unarmed (state that the C library and the core
 * build on first use exists from then on), then for n = 1, 2, ... in both
 * modes until the operation completes without reaching request n. Returns
 * the number of runs in which an allocation failed. */
template <typename Scenario>
size_t every_failure(const std::string& what, Scenario scenario)
{
    Injection warm_up(0, Mode::once);
    scenario(warm_up);
    size_t points = 0;
    for (Mode mode : {Mode::once, Mode::forever}) {
        const char* mode_name = mode == Mode::once ? "once" : "for ever";
        for (size_t n = 1;; ++n) {
            Injection injection(n, mode);
            const long live = faults::live_blocks();
            scenario(injection);
            /* A failed check keeps its message: count blocks only after a clean run. */
            if (!::testing::Test::HasFailure()) {
                EXPECT_EQ(faults::live_blocks(), live)
                    << what << ": blocks leaked with request " << n << " failing " << mode_name;
            }
            if (!injection.fired())
                break;
            ++points;
            if (::testing::Test::HasFailure()) {
                ADD_FAILURE() << what << ": first fault with request " << n << " failing "
                              << mode_name;
                return points;
            }
        }
    }
    total_points += points;
    std::printf("  %-44s %4zu injection points\n", what.c_str(), points);
    return points;
}

void keep(void*) {}

std::vector<void*> elements(List list)
{
    std::vector<void*> out;
    for (size_t i = 0; i < list_size(list); ++i)
        out.push_back(list_get(list, i));
    if (!out.empty()) {
        EXPECT_EQ(list_front(list), out.front());
        EXPECT_EQ(list_back(list), out.back());
    }
    return out;
}

const BookRow kBook{7, "Tolkien, J.R.R.", "He said \"hi\"", "Epic, Fantasy", 5, 3};
const UserRow kUser{3, "Doe, Jane", "1 \"Quote\" Lane", "+35 12 345 67 89"};
const LoanRow kLoan{9, 3, 7, "01/02/2020", "15/02/2020", true};

template <typename Kind>
std::vector<typename Kind::Row> sample_rows();
template <>
std::vector<BookRow> sample_rows<Books>()
{
    return {kBook, {8, "Moby Dick", "Corvin Halstrom", "Adventure", 13, 13}};
}
template <>
std::vector<UserRow> sample_rows<Users>()
{
    return {kUser, {4, "Ada", "Analytical Row", "+44 20 123 45 67"}};
}
template <>
std::vector<LoanRow> sample_rows<Loans>()
{
    return {kLoan, {10, 4, 8, "31/12/1999", "01/01/2000", false}};
}

/* A record file of the kind with BOM, CR LF, quoted texts, a refused line
 * and a trailer, as another program might have written it. The sample
 * texts hold no line break, so every LF is a line end. */
template <typename Kind>
std::string sample_file()
{
    TempDir dir;
    const std::string path = dir.file("sample.csv");
    EXPECT_TRUE(save_file<Kind>(path, sample_rows<Kind>(), 42));
    std::string text = read_file(path);
    text.insert(text.rfind('\n') + 1, "not,a,record\n");
    return "\xEF\xBB\xBF" + with_crlf(text);
}

template <typename Kind>
class AllocationFailureOf : public ::testing::Test {
protected:
    /* "save lendrec_test::Books" and the like. */
    static std::string label(const char* operation)
    {
        return std::string(operation) + " " +
               ::testing::UnitTest::GetInstance()->current_test_info()->type_param();
    }
};
using Kinds = ::testing::Types<Books, Users, Loans>;
TYPED_TEST_SUITE(AllocationFailureOf, Kinds);

} // namespace

TEST(AllocationFailure, ANewListIsNullOrEmpty)
{
    every_failure("list_new", [](Injection& injection) {
        List list = nullptr;
        injection.run([&] { list = list_new(); });
        EXPECT_TRUE(list != nullptr || injection.fired());
        if (list != nullptr) {
            EXPECT_TRUE(list_empty(list));
            list_delete(list, keep);
        }
    });
}

TEST(AllocationFailure, ARefusedPushLeavesTheListAsItWas)
{
    every_failure("list_push_back", [](Injection& injection) {
        int items[4];
        List list = list_new();
        ASSERT_NE(list, nullptr);
        std::vector<void*> expected;
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(list_push_back(list, &items[i]), &items[i]);
            expected.push_back(&items[i]);
        }
        void* pushed = nullptr;
        injection.run([&] { pushed = list_push_back(list, &items[3]); });
        if (pushed != nullptr)
            expected.push_back(&items[3]);
        EXPECT_TRUE(pushed != nullptr || injection.fired());
        EXPECT_EQ(elements(list), expected);
        list_delete(list, keep);
    });
}

TEST(AllocationFailure, SortingSearchingAndRemovingAllocateNothing)
{
    int items[40];
    List list = list_new();
    for (int i = 39; i >= 0; --i) {
        items[i] = i;
        ASSERT_NE(list_push_back(list, &items[i]), nullptr);
    }
    auto later = [](void* a, void* b) { return *static_cast<int*>(a) > *static_cast<int*>(b); };
    auto same = [](void* a, void* b) { return *static_cast<int*>(a) == *static_cast<int*>(b); };
    int key = 17;
    faults::arm(1, Mode::forever);
    const bool sorted = list_sort(list, later);
    void* found = list_search(list, same, &key);
    const bool removed = list_search_remove(list, same, &key, keep);
    void* popped = list_pop_back(list);
    void* first = list_remove(list, 0);
    faults::disarm();
    EXPECT_EQ(faults::requests(), 0u);
    EXPECT_TRUE(sorted && removed);
    EXPECT_EQ(found, &items[17]);
    EXPECT_EQ(popped, &items[39]);
    EXPECT_EQ(first, &items[0]);
    EXPECT_EQ(list_size(list), 37u);
    list_delete(list, keep);
}

TYPED_TEST(AllocationFailureOf, ANewRecordIsNullOrWhole)
{
    const auto row = sample_rows<TypeParam>().front();
    every_failure(this->label("new record"), [&](Injection& injection) {
        void* record = nullptr;
        injection.run([&] { record = TypeParam::make(row); });
        EXPECT_TRUE(record != nullptr || injection.fired());
        if (record != nullptr) {
            EXPECT_EQ(TypeParam::row(record), row);
        }
        TypeParam::deleter(record);
    });
}

namespace {

/* Runs a setter on a fresh record built from `start`; when it succeeds the
 * record must read as `start` changed by `change`, when refused as `start`. */
template <typename Kind, typename Set, typename Change>
void check_setter(const char* what, const typename Kind::Row& start, Set set, Change change)
{
    every_failure(what, [&](Injection& injection) {
        void* record = Kind::make(start);
        ASSERT_NE(record, nullptr);
        bool ok = false;
        injection.run([&] { ok = set(record); });
        EXPECT_TRUE(ok || injection.fired()) << what;
        auto expected = start;
        if (ok)
            change(expected);
        EXPECT_EQ(Kind::row(record), expected) << what;
        Kind::deleter(record);
    });
}

} // namespace

TEST(AllocationFailure, RefusedSettersLeaveTheRecordAsItWas)
{
    const std::string saga(300, 's');
    check_setter<Books>(
        "book_set_title", kBook,
        [&](void* b) { return book_set_title(static_cast<Book>(b), saga.c_str()); },
        [&](BookRow& r) { r.title = saga; });
    check_setter<Books>(
        "book_set_title (own text)", kBook,
        [](void* b) {
            return book_set_title(static_cast<Book>(b), book_get_title(static_cast<Book>(b)) + 9);
        },
        [](BookRow& r) { r.title = r.title.substr(9); });
    check_setter<Books>(
        "book_set_author", kBook,
        [](void* b) { return book_set_author(static_cast<Book>(b), "Le Guin"); },
        [](BookRow& r) { r.author = "Le Guin"; });
    check_setter<Books>(
        "book_set_genre", kBook,
        [](void* b) {
            return book_set_genre(static_cast<Book>(b), book_get_author(static_cast<Book>(b)));
        },
        [](BookRow& r) { r.genre = r.author; });
    check_setter<Users>(
        "user_set_name", kUser,
        [&](void* u) { return user_set_name(static_cast<User>(u), saga.c_str()); },
        [&](UserRow& r) { r.name = saga; });
    check_setter<Users>(
        "user_set_address (own text)", kUser,
        [](void* u) {
            return user_set_address(static_cast<User>(u),
                                    user_get_address(static_cast<User>(u)) + 2);
        },
        [](UserRow& r) { r.address = r.address.substr(2); });
    check_setter<Users>(
        "user_set_phone", kUser,
        [](void* u) { return user_set_phone(static_cast<User>(u), "+44 20 123 45 67"); },
        [](UserRow& r) { r.phone = "+44 20 123 45 67"; });
    check_setter<Loans>(
        "borrow_set_date", kLoan,
        [](void* l) { return borrow_set_date(static_cast<Borrow>(l), "03/02/2020"); },
        [](LoanRow& r) { r.date = "03/02/2020"; });
    check_setter<Loans>(
        "borrow_set_return_date", kLoan,
        [](void* l) { return borrow_set_return_date(static_cast<Borrow>(l), "01/03/2020"); },
        [](LoanRow& r) { r.return_date = "01/03/2020"; });
}

TEST(AllocationFailure, AFailedCopyKeepsThePreviousText)
{
    const std::string long_text(5000, 'x');
    const struct {
        const char* what;
        const char* initial; /* null: the field starts empty */
        const char* source;  /* null: a piece of the field's own text */
        size_t own_offset;
    } cases[] = {
        {"strman_copy into an empty field", nullptr, "Dune", 0},
        {"strman_copy growing a field", "Dune", long_text.c_str(), 0},
        {"strman_copy shrinking a field", long_text.c_str(), "Dune", 0},
        {"strman_copy of its own suffix", "Bible Moby", nullptr, 2},
    };
    for (const auto& c : cases) {
        every_failure(c.what, [&](Injection& injection) {
            String field = nullptr;
            if (c.initial != nullptr) {
                ASSERT_NE(strman_copy(&field, c.initial), nullptr);
            }
            const String before = field;
            const std::string before_text = field != nullptr ? field : "";
            const char* source = c.source != nullptr ? c.source : field + c.own_offset;
            const std::string expected = source;
            String copy = nullptr;
            injection.run([&] { copy = strman_copy(&field, source); });
            if (copy != nullptr) {
                EXPECT_EQ(copy, field);
                EXPECT_EQ(std::string(field), expected);
            } else {
                EXPECT_TRUE(injection.fired());
                EXPECT_EQ(field, before);
                EXPECT_EQ(field != nullptr ? std::string(field) : "", before_text);
            }
            std::free(field);
        });
    }
}

TYPED_TEST(AllocationFailureOf, AFailedSaveKeepsThePreviousFileAndLeavesNoTemporary)
{
    TempDir dir;
    const std::string path = dir.file("records.csv");
    const std::string previous = sample_file<TypeParam>();
    const auto rows = sample_rows<TypeParam>();
    ASSERT_TRUE(save_file<TypeParam>(path, rows, 43));
    const std::string saved = read_file(path);
    every_failure(this->label("save"), [&](Injection& injection) {
        RecordList<TypeParam> list(rows);
        write_file(path, previous);
        bool ok = false;
        injection.run([&] { ok = TypeParam::save(path.c_str(), list.get(), 43); });
        EXPECT_TRUE(ok || injection.fired());
        EXPECT_EQ(read_file(path), ok ? saved : previous);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"records.csv"});
        EXPECT_EQ(list.rows(), rows);
    });
}

TYPED_TEST(AllocationFailureOf, ALoadUnderFailureLoadsEverythingOrLeavesTheListAsItWas)
{
    TempDir dir;
    const std::string path = dir.file("records.csv");
    write_file(path, sample_file<TypeParam>());
    const auto whole = load_file<TypeParam>(path);
    ASSERT_EQ(whole.rows, sample_rows<TypeParam>());
    ASSERT_EQ(whole.last_id, 42u);
    const auto held = sample_rows<TypeParam>().back();
    every_failure(this->label("load"), [&](Injection& injection) {
        RecordList<TypeParam> list({held});
        size_t last_id = 0;
        injection.run([&] { last_id = TypeParam::load(path.c_str(), list.get()); });
        auto rows = list.rows();
        if (last_id == 0) {
            /* Refused: the list holds what it held before, nothing more. */
            EXPECT_TRUE(injection.fired());
            EXPECT_EQ(rows, std::vector{held});
        } else {
            /* A failure the load got past must not cost a record. */
            EXPECT_EQ(last_id, 42u);
            ASSERT_FALSE(rows.empty());
            rows.erase(rows.begin());
            EXPECT_EQ(rows, whole.rows);
        }
    });
}

/* The first validation of the process meets a heap that refuses every
 * request; once the heap recovers, validation must work again. Run in a
 * fresh process (this executable, started again), where nothing has been
 * validated yet.
 * Parked: under the pattern rule the core compiles its expressions once and
 * keeps the outcome, so a regcomp that ran out of memory leaves every later
 * phone and date refused for the rest of the process. Enable once the core
 * compiles again after a failed attempt (--gtest_also_run_disabled_tests
 * runs it now). */
TEST(AllocationFailure, ValidationWorksAgainAfterFailingOnItsFirstUse)
{
    int status = run_in_child([] {
        execl("/proc/self/exe", "lendrec_faults", kFirstUseProbe, static_cast<char*>(nullptr));
        return 3;
    });
    EXPECT_TRUE(exited_with(status, 0)) << "status " << status;
}

namespace {

int first_use_probe()
{
    const char* phone = "+35 12 345 67 89";
    const char* date = "01/02/2020";
    faults::arm(1, Mode::forever);
    const bool during = common_verify_phone(phone) && common_verify_date(date);
    faults::disarm();
    const bool after = common_verify_phone(phone) && common_verify_date(date);
    std::printf("validation while the heap fails: %s, afterwards: %s\n",
                during ? "accepted" : "refused", after ? "accepted" : "refused");
    return after ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], kFirstUseProbe) == 0)
        return first_use_probe();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (total_points > 0)
        std::printf("allocation-failure injection points covered: %zu\n", total_points);
    return result;
}
