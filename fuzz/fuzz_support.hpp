/*
 * fuzz_support.hpp - shared pieces of the fuzz targets: a scratch record
 * file on a memory-backed file system, rewritten in place once per input;
 * the three kinds of record (the shared table of the tests) with the
 * invariants each constructor promises; and a list that releases its
 * records.
 */
#ifndef LENDREC_FUZZ_SUPPORT_HPP
#define LENDREC_FUZZ_SUPPORT_HPP

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../tests/support/record_kinds.hpp"

/* A broken invariant is a finding: say which, then abort so libFuzzer keeps
 * the input. */
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);          \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {

using lendrec_support::Fields;
using lendrec_support::RecordKind;

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

/* A record file named for this process, opened once and kept open, so an
 * input costs one write in place; removed when the process ends. */
class ScratchFile {
public:
    explicit ScratchFile(const char* tag)
        : path_(scratch_dir() + "/lendrec-fuzz-" + tag + "-" + std::to_string(getpid())),
          fd_(::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600))
    {
        FUZZ_CHECK(fd_ >= 0);
    }
    ~ScratchFile()
    {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const char* path() const { return path_.c_str(); }

    /* The file's bytes become exactly data[0, size). */
    void write(const uint8_t* data, size_t size) const
    {
        FUZZ_CHECK(::ftruncate(fd_, static_cast<off_t>(size)) == 0);
        FUZZ_CHECK(size == 0 || ::pwrite(fd_, data, size, 0) == static_cast<ssize_t>(size));
    }

private:
    std::string path_;
    int fd_;
};

/* One kind of record and the invariants its constructor promises. */
struct Kind {
    const RecordKind& record;
    void (*check)(void* record);
};

inline const Kind& books()
{
    static const Kind kind{lendrec_support::kBooks, [](void* r) {
                               auto b = static_cast<Book>(r);
                               FUZZ_CHECK(*book_get_title(b) != '\0' &&
                                          *book_get_author(b) != '\0' &&
                                          *book_get_genre(b) != '\0');
                               FUZZ_CHECK(book_get_available(b) <= book_get_quantity(b));
                           }};
    return kind;
}

inline const Kind& users()
{
    static const Kind kind{lendrec_support::kUsers, [](void* r) {
                               auto u = static_cast<User>(r);
                               FUZZ_CHECK(*user_get_name(u) != '\0' &&
                                          *user_get_address(u) != '\0');
                               FUZZ_CHECK(common_verify_phone(user_get_phone(u)));
                           }};
    return kind;
}

inline const Kind& loans()
{
    static const Kind kind{
        lendrec_support::kLoans, [](void* r) {
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
    explicit Records(const Kind& kind) : kind_(kind), list_(list_new())
    {
        FUZZ_CHECK(list_ != nullptr);
    }
    ~Records() { list_delete(list_, kind_.record.deleter); }
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    List get() const { return list_; }

    /* Every record's fields, in list order; each record checked on the way. */
    std::vector<Fields> contents() const
    {
        list_foreach(
            list_,
            [](void* record, void* args) {
                FUZZ_CHECK(record != nullptr);
                static_cast<const Kind*>(args)->check(record);
            },
            const_cast<Kind*>(&kind_));
        return lendrec_support::fields_of(kind_.record, list_);
    }

private:
    const Kind& kind_;
    List list_;
};

} // namespace fuzz

#endif
