/*
 * fuzz_support.hpp - shared pieces of the fuzz targets: a scratch record
 * file on a memory-backed file system, the three kinds of record behind one
 * table, and the invariants every loaded record must hold.
 */
#ifndef LENDREC_FUZZ_SUPPORT_HPP
#define LENDREC_FUZZ_SUPPORT_HPP

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "book.h"
#include "borrow.h"
#include "common.h"
#include "list.h"
#include "serializer.h"
#include "user.h"

/* A broken invariant is a finding: say which, then abort so libFuzzer keeps
 * the input. */
#define FUZZ_CHECK(cond)                                                        \
    do {                                                                        \
        if (!(cond)) {                                                          \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, \
                         #cond);                                                \
            std::abort();                                                       \
        }                                                                       \
    } while (0)

namespace fuzz {

/* The directory for scratch files: $LENDREC_FUZZ_DIR, else /dev/shm, else
 * /tmp. */
inline std::string scratch_dir()
{
    if (const char* dir = std::getenv("LENDREC_FUZZ_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    struct stat st;
    if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return "/tmp";
}

/* A record file named for this process, removed when the process ends. */
class ScratchFile {
public:
    explicit ScratchFile(const char* tag)
        : path_(scratch_dir() + "/lendrec-fuzz-" + tag + "-" + std::to_string(getpid()))
    {
    }
    ~ScratchFile() { std::remove(path_.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const char* path() const { return path_.c_str(); }

    void write(const uint8_t* data, size_t size) const
    {
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        FUZZ_CHECK(f != nullptr);
        FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
        FUZZ_CHECK(std::fclose(f) == 0);
    }

private:
    std::string path_;
};

using Fields = std::vector<std::string>;

/* One kind of record: its record-file operations, its deleter, its fields
 * as text, and the invariants its constructor promises. */
struct Kind {
    const char* name;
    size_t (*load)(const char* file, List list);
    bool (*save)(const char* file, List list, size_t last_id);
    ConsumerFunction deleter;
    Fields (*fields)(void* record);
    void (*check)(void* record);
};

inline std::string text(const char* s)
{
    FUZZ_CHECK(s != nullptr);
    return s;
}

inline const Kind& books()
{
    static const Kind kind{
        "books", serializer_load_books, serializer_save_books, book_deleter,
        [](void* r) -> Fields {
            auto b = static_cast<Book>(r);
            return {std::to_string(book_get_id(b)), text(book_get_title(b)),
                    text(book_get_author(b)), text(book_get_genre(b)),
                    std::to_string(book_get_quantity(b)), std::to_string(book_get_available(b))};
        },
        [](void* r) {
            auto b = static_cast<Book>(r);
            FUZZ_CHECK(*book_get_title(b) != '\0' && *book_get_author(b) != '\0' &&
                       *book_get_genre(b) != '\0');
            FUZZ_CHECK(book_get_available(b) <= book_get_quantity(b));
        }};
    return kind;
}

inline const Kind& users()
{
    static const Kind kind{
        "users", serializer_load_users, serializer_save_users, user_deleter,
        [](void* r) -> Fields {
            auto u = static_cast<User>(r);
            return {std::to_string(user_get_id(u)), text(user_get_name(u)),
                    text(user_get_address(u)), text(user_get_phone(u))};
        },
        [](void* r) {
            auto u = static_cast<User>(r);
            FUZZ_CHECK(*user_get_name(u) != '\0' && *user_get_address(u) != '\0');
            FUZZ_CHECK(common_verify_phone(user_get_phone(u)));
        }};
    return kind;
}

inline const Kind& loans()
{
    static const Kind kind{
        "loans", serializer_load_borrows, serializer_save_borrows, borrow_deleter,
        [](void* r) -> Fields {
            auto l = static_cast<Borrow>(r);
            return {std::to_string(borrow_get_id(l)), std::to_string(borrow_get_user_id(l)),
                    std::to_string(borrow_get_book_id(l)), text(borrow_get_date(l)),
                    text(borrow_get_return_date(l)), borrow_has_returned(l) ? "1" : "0"};
        },
        [](void* r) {
            auto l = static_cast<Borrow>(r);
            FUZZ_CHECK(common_verify_date(borrow_get_date(l)));
            FUZZ_CHECK(common_verify_date(borrow_get_return_date(l)));
            FUZZ_CHECK(common_compare_dates(borrow_get_return_date(l), borrow_get_date(l)) == 1);
        }};
    return kind;
}

/* A list and the records it holds, released together. */
class Records {
public:
    explicit Records(const Kind& kind) : kind_(kind), list_(list_new()) { FUZZ_CHECK(list_ != nullptr); }
    ~Records() { list_delete(list_, kind_.deleter); }
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    List get() const { return list_; }

    /* Every record's fields, in list order; each record checked on the way. */
    std::vector<Fields> contents() const
    {
        std::vector<Fields> out;
        for (size_t i = 0; i < list_size(list_); ++i) {
            void* record = list_get(list_, i);
            FUZZ_CHECK(record != nullptr);
            kind_.check(record);
            out.push_back(kind_.fields(record));
        }
        return out;
    }

private:
    const Kind& kind_;
    List list_;
};

} // namespace fuzz

#endif
