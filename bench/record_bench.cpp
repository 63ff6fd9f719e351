/*
 * record_bench.cpp - record files of books, users and loans, each measured
 * against the floor of the work it cannot avoid, and the validators.
 *
 *   Save/<kind>/<n>             save n records; baseline: the write floor,
 *                               the same bytes written to a temporary file,
 *                               flushed to disk (fsync), renamed over the
 *                               target, directory flushed
 *   Load/<kind>/<n>             load n records; baseline: the allocation
 *                               floor, the same allocations (record, owned
 *                               texts, list node) filled from an in-memory
 *                               copy of the file's texts, nothing parsed
 *   PerRecord/<kind>_vs_books   loading n users or loans; baseline: loading
 *                               n books
 *   PerRecord/loans_random_dates_vs_books
 *                               the same for loans whose dates fall at
 *                               random over 25 years, in no order
 *   Memory/books/<n>            peak resident bytes per record after a load
 *                               and after the allocation floor
 *   Validate/<check>            one call of a validator
 *
 * The record files stay in bench::record_dir() as <kind>-<n>.csv.
 */
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "../tests/support/record_kinds.hpp"
#include "harness.hpp"

namespace {

/* ------------------------------------------------------------------ */
/* The three kinds of record, as generated stores                      */
/* ------------------------------------------------------------------ */

using lendrec_support::RecordKind;

/* A kind of record file (the shared table) and how record i of a generated
 * store of that kind looks; `label` names a variant's files and results. */
struct Kind {
    const RecordKind& record;
    void* (*make)(size_t i);
    const char* label = nullptr;
    const char* name() const { return label != nullptr ? label : record.name; }
};

/* Every record structure is six words: an allocation of this size. */
constexpr size_t kRecordBytes = 6 * sizeof(size_t);

const char* const kGenres[] = {"Adventure", "Educational", "Poetry", "History", "Science fiction"};

/* One title in 64 and one address in 50 hold a comma, so some fields of
 * every such file are quoted. */
void* make_book(size_t i)
{
    char title[48], author[32];
    std::snprintf(title, sizeof title, i % 64 == 0 ? "Tales, volume %zu" : "The Book of %zu", i);
    std::snprintf(author, sizeof author, "Author %zu", i % 10007);
    Book book = book_new(i + 1, title, author, kGenres[i % 5], 1 + i % 20);
    book_set_available(book, i % 7 % (1 + i % 20));
    return book;
}

void* make_user(size_t i)
{
    char name[32], address[48], phone[20];
    std::snprintf(name, sizeof name, "Reader %zu", i);
    std::snprintf(address, sizeof address,
                  i % 50 == 0 ? "Flat 2, %zu Main Road" : "%zu Library Street", i);
    std::snprintf(phone, sizeof phone, "+35 %02zu %03zu %02zu %02zu", i % 100, i % 1000,
                  i / 7 % 100, i / 3 % 100);
    return user_new(i + 1, name, address, phone);
}

void* make_borrow(size_t i)
{
    const size_t day = 1 + i % 27, month = 1 + i / 27 % 12, year = 2000 + i / 324 % 30;
    char date[16], due[16];
    std::snprintf(date, sizeof date, "%02zu/%02zu/%04zu", day, month, year);
    std::snprintf(due, sizeof due, "%02zu/%02zu/%04zu", day + 1, month, year);
    Borrow borrow = borrow_new(i + 1, 1 + i % 50000, 1 + i % 100000, date, due);
    if (i % 3 == 0)
        borrow_return(borrow);
    return borrow;
}

/* A loan of a random day in the 25 years from 2000 (a fixed mix of i picks
 * it), due 28 days later, so that dates come in no order. */
void* make_borrow_random_dates(size_t i)
{
    using namespace std::chrono;
    uint64_t mixed = (i + bench::kSeed) * 0x9E3779B97F4A7C15ull;
    mixed ^= mixed >> 31;
    const sys_days day = sys_days{year{2000} / 1 / 1} + days{static_cast<int>(mixed % 9131u)};
    auto text = [](sys_days d) {
        const year_month_day ymd{d};
        char out[16];
        std::snprintf(out, sizeof out, "%02u/%02u/%04d", unsigned{ymd.day()}, unsigned{ymd.month()},
                      int{ymd.year()});
        return std::string(out);
    };
    Borrow borrow = borrow_new(i + 1, 1 + i % 50000, 1 + i % 100000, text(day).c_str(),
                               text(day + days{28}).c_str());
    if (i % 3 == 0)
        borrow_return(borrow);
    return borrow;
}

const Kind kBooks{lendrec_support::kBooks, make_book};
const Kind kUsers{lendrec_support::kUsers, make_user};
const Kind kBorrows{lendrec_support::kLoans, make_borrow};
const Kind kBorrowsRandomDates{lendrec_support::kLoans, make_borrow_random_dates,
                               "loans_random_dates"};

/* ------------------------------------------------------------------ */
/* Stores: n generated records, their file, and what the floors need   */
/* ------------------------------------------------------------------ */

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

struct Store {
    const Kind& kind;
    size_t n;
    List list = list_new();
    std::string path;  /* the file Load reads */
    std::string image; /* its bytes: what the write floor writes */
    std::string arena; /* its texts, each with its terminator, in file order */

    Store(const Kind& k, size_t count)
        : kind(k), n(count),
          path(bench::record_dir() + "/" + k.name() + "-" + std::to_string(count) + ".csv")
    {
        for (size_t i = 0; i < n; ++i)
            list_push_back(list, kind.make(i));
        kind.record.save(path.c_str(), list, n + 1);
        image = slurp(path);
        const lendrec_support::TextLayout texts = kind.record.texts;
        for (const lendrec_support::Fields& fields : lendrec_support::fields_of(kind.record, list))
            for (size_t j = texts.first; j < texts.first + texts.owned + texts.inner; ++j)
                arena.append(fields[j].c_str(), fields[j].size() + 1);
    }
    ~Store() { list_delete(list, kind.record.deleter); }
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;
};

/* Built on first use, outside every timed region, and kept for the run. */
Store& store(const Kind& kind, size_t n)
{
    static std::map<std::pair<const Kind*, size_t>, std::unique_ptr<Store>> stores;
    auto& slot = stores[{&kind, n}];
    if (!slot)
        slot = std::make_unique<Store>(kind, n);
    return *slot;
}

/* ------------------------------------------------------------------ */
/* The allocation floor                                                */
/* ------------------------------------------------------------------ */

struct FloorNode {
    FloorNode* next;
    FloorNode* previous;
    void* content;
};

struct FloorList {
    FloorNode* head;
    size_t size;
};

/* What a load must at least do per record: allocate the record, a copy
 * of each owned text and a list node, copy the texts in and link the node
 * at the tail. The texts come one after another from the arena. */
FloorList* floor_build(const Store& s)
{
    const lendrec_support::TextLayout shape = s.kind.record.texts;
    auto* list = static_cast<FloorList*>(std::malloc(sizeof(FloorList)));
    *list = {nullptr, 0};
    const char* p = s.arena.data();
    for (size_t i = 0; i < s.n; ++i) {
        auto* record = static_cast<char*>(std::malloc(kRecordBytes));
        std::memset(record, 0, kRecordBytes);
        size_t offset = sizeof(size_t);
        for (size_t j = 0; j < shape.owned; ++j, offset += sizeof(char*)) {
            const size_t length = std::strlen(p) + 1;
            auto* text = static_cast<char*>(std::malloc(length));
            std::memcpy(text, p, length);
            std::memcpy(record + offset, &text, sizeof text);
            p += length;
        }
        for (size_t j = 0; j < shape.inner; ++j) {
            const size_t length = std::strlen(p) + 1;
            std::memcpy(record + offset, p, length);
            offset += length;
            p += length;
        }
        auto* node = static_cast<FloorNode*>(std::malloc(sizeof(FloorNode)));
        node->content = record;
        if (list->head == nullptr) {
            node->next = node->previous = node;
            list->head = node;
        } else {
            node->next = list->head;
            node->previous = list->head->previous;
            node->previous->next = node;
            list->head->previous = node;
        }
        list->size++;
    }
    return list;
}

void floor_release(FloorList* list, size_t owned)
{
    FloorNode* node = list->head;
    for (size_t i = 0; i < list->size; ++i) {
        FloorNode* next = node->next;
        auto* record = static_cast<char*>(node->content);
        for (size_t j = 0; j < owned; ++j) {
            char* text;
            std::memcpy(&text, record + sizeof(size_t) + j * sizeof(char*), sizeof text);
            std::free(text);
        }
        std::free(record);
        std::free(node);
        node = next;
    }
    std::free(list);
}

/* ------------------------------------------------------------------ */
/* The write floor                                                     */
/* ------------------------------------------------------------------ */

/* The durability work of a save without the formatting: write the bytes
 * to a temporary beside the target, flush it to disk, rename it over the
 * target, flush the directory. */
bool write_floor(const std::string& target, const std::string& bytes)
{
    const std::string temp = target + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    constexpr size_t kChunk = size_t{1} << 20;
    for (size_t at = 0; ok && at < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + at, std::min(kChunk, bytes.size() - at));
        ok = n > 0;
        at += ok ? static_cast<size_t>(n) : 0;
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
    const int dir = ::open(bench::record_dir().c_str(), O_RDONLY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    return ok;
}

/* ------------------------------------------------------------------ */
/* Sides                                                               */
/* ------------------------------------------------------------------ */

/* Loads the store's file into a fresh list; the first load is checked. */
bench::Side load_side(benchmark::State& state, Store& s)
{
    auto loaded = std::make_shared<List>(nullptr);
    auto last_id = std::make_shared<size_t>(0);
    auto checked = std::make_shared<bool>(false);
    return {[loaded] { *loaded = list_new(); },
            [&s, loaded, last_id] { *last_id = s.kind.record.load(s.path.c_str(), *loaded); },
            [&state, &s, loaded, last_id, checked] {
                if (!*checked && (*last_id != s.n + 1 || list_size(*loaded) != s.n))
                    state.SkipWithError("the load lost records or its trailer");
                *checked = true;
                list_delete(*loaded, s.kind.record.deleter);
                bench::settle_heap();
            }};
}

bench::Side floor_side(const Store& s)
{
    auto built = std::make_shared<FloorList*>(nullptr);
    const size_t owned = s.kind.record.texts.owned;
    return {[] {}, [&s, built] { *built = floor_build(s); },
            [built, owned] {
                floor_release(*built, owned);
                bench::settle_heap();
            }};
}

void bm_load(benchmark::State& state, const Kind* kind, size_t n, double target)
{
    Store& s = store(*kind, n);
    bench::Side subject = load_side(state, s);
    bench::Side baseline = floor_side(s);
    bench::compare(state, static_cast<double>(n), subject, baseline, target);
}

void bm_per_record(benchmark::State& state, const Kind* kind, size_t n, double target)
{
    bench::Side subject = load_side(state, store(*kind, n));
    bench::Side baseline = load_side(state, store(kBooks, n));
    bench::compare(state, static_cast<double>(n), subject, baseline, target);
}

void bm_save(benchmark::State& state, const Kind* kind, size_t n, double target)
{
    Store& s = store(*kind, n);
    const std::string saved = bench::record_dir() + "/" + kind->name() + "-saved.csv";
    const std::string floored = bench::record_dir() + "/" + kind->name() + "-floor.csv";
    bool ok = true;
    bench::Side subject{[] {},
                        [&] { ok = s.kind.record.save(saved.c_str(), s.list, s.n + 1) && ok; }};
    bench::Side baseline{[] {}, [&] { ok = write_floor(floored, s.image) && ok; }};
    bench::compare(state, static_cast<double>(n), subject, baseline, target);
    if (!ok || slurp(saved) != s.image)
        state.SkipWithError("the save failed or wrote other bytes than the store's file");
}

/* ------------------------------------------------------------------ */
/* Peak memory                                                         */
/* ------------------------------------------------------------------ */

/* A "Vm...:" line of /proc/self/status, in bytes; -1 if missing. */
long long status_bytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t key_length = std::strlen(key);
    while (std::getline(status, line))
        if (line.compare(0, key_length, key) == 0)
            return std::atoll(line.c_str() + key_length) * 1024;
    return -1;
}

/*
 * The peak resident memory that `work` adds, measured in a child process so
 * that nothing of this run's heap is reused: the child gives its free heap
 * memory back (malloc_trim), resets its peak to its present size by writing
 * 5 to /proc/self/clear_refs, notes that size (VmRSS), runs the work and
 * reports its peak (VmHWM) minus that size. -1 when it cannot be measured.
 */
template <typename Work>
long long peak_growth(Work work)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        bench::settle_heap();
        long long growth = -1;
        std::FILE* clear = std::fopen("/proc/self/clear_refs", "w");
        if (clear != nullptr && std::fputs("5", clear) >= 0 && std::fclose(clear) == 0) {
            const long long start = status_bytes("VmRSS:");
            work();
            const long long peak = status_bytes("VmHWM:");
            if (start >= 0 && peak >= 0)
                growth = peak - start;
        }
        const bool sent = ::write(fds[1], &growth, sizeof growth) == sizeof growth;
        ::_exit(sent ? 0 : 1);
    }
    ::close(fds[1]);
    long long growth = -1;
    if (child < 0 || ::read(fds[0], &growth, sizeof growth) != sizeof growth)
        growth = -1;
    ::close(fds[0]);
    if (child > 0)
        ::waitpid(child, nullptr, 0);
    return growth;
}

void bm_memory(benchmark::State& state, const Kind* kind, size_t n, double target)
{
    Store& s = store(*kind, n);
    long long loaded = 0, floor = 0;
    for (auto _ : state) {
        loaded = peak_growth([&] { s.kind.record.load(s.path.c_str(), list_new()); });
        floor = peak_growth([&] { floor_build(s); });
    }
    if (loaded <= 0 || floor <= 0) {
        state.SkipWithError("peak resident memory cannot be measured here");
        return;
    }
    state.counters["bytes_per_record"] = static_cast<double>(loaded) / static_cast<double>(n);
    state.counters["floor_bytes_per_record"] = static_cast<double>(floor) / static_cast<double>(n);
    state.counters["ratio"] = static_cast<double>(loaded) / static_cast<double>(floor);
    state.counters["target"] = target;
}

/* ------------------------------------------------------------------ */
/* Validators                                                          */
/* ------------------------------------------------------------------ */

struct Check {
    const char* name;
    int (*call)(const char*, const char*);
    const char* first;
    const char* second;
};

const Check kChecks[] = {
    {"phone/valid", [](const char* a, const char*) -> int { return common_verify_phone(a); },
     "+35 12 345 67 89", nullptr},
    {"phone/refused", [](const char* a, const char*) -> int { return common_verify_phone(a); },
     "+35 12 345 67 8a", nullptr},
    {"date/valid", [](const char* a, const char*) -> int { return common_verify_date(a); },
     "28/02/2024", nullptr},
    {"date/refused", [](const char* a, const char*) -> int { return common_verify_date(a); },
     "28/13/2024", nullptr},
    {"date_fields",
     [](const char* a, const char*) -> int { return int(common_date_fields(a).year); },
     "28/02/2024", nullptr},
    {"compare_dates", common_compare_dates, "28/02/2024", "01/03/2024"},
};

void bm_check(benchmark::State& state, const Check* check)
{
    const char* first = check->first;
    const char* second = check->second;
    for (auto _ : state) {
        benchmark::DoNotOptimize(first);
        benchmark::DoNotOptimize(check->call(first, second));
    }
}

[[maybe_unused]] const bool registered = [] {
    const Kind* const kinds[] = {&kBooks, &kUsers, &kBorrows};
    for (size_t n : {size_t{1000}, size_t{1000000}}) {
        const bool full = n == 1000000;
        const std::string count = std::to_string(n);
        benchmark::RegisterBenchmark(
            bench::name({"PerRecord", "loans_random_dates_vs_books", count}).c_str(), bm_per_record,
            &kBorrowsRandomDates, n, full ? 1.3 : 0.0)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        for (const Kind* kind : kinds) {
            const bool books = kind == &kBooks;
            benchmark::RegisterBenchmark(bench::name({"Save", kind->name(), count}).c_str(),
                                         bm_save, kind, n, full ? 3.5 : 0.0)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(bench::name({"Load", kind->name(), count}).c_str(),
                                         bm_load, kind, n, full && books ? 1.6 : 0.0)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
            if (!books)
                benchmark::RegisterBenchmark(
                    bench::name({"PerRecord", std::string(kind->name()) + "_vs_books", count})
                        .c_str(),
                    bm_per_record, kind, n, full ? 1.3 : 0.0)
                    ->UseManualTime()
                    ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RegisterBenchmark("Memory/books/1000000", bm_memory, &kBooks, size_t{1000000}, 1.1)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    for (const Check& check : kChecks)
        benchmark::RegisterBenchmark(bench::name({"Validate", check.name}).c_str(), bm_check,
                                     &check);
    return true;
}();

} // namespace
