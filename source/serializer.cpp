/*
 * serializer.cpp - record files: one framework that saves a list as
 * comma-separated lines closed by the next-id trailer and loads such a file
 * back, and one saver/loader pair per kind of record.
 *
 * Writing. Numbers are plain decimal (std::to_chars, full size_t width).
 * A text holding a comma, a double quote, a CR or an LF is enclosed in
 * double quotes with inner quotes doubled; other texts go as they are. Each
 * line ends in the platform's line end (CR LF on Windows), as a text-mode
 * stream would write it; inside quotes every byte of the text goes as it
 * is, so a text holding line breaks reads back the same on every platform,
 * whichever wrote it. Lines are formatted into
 * one large buffer that goes out in big chunks; a save writes a temporary
 * file beside the target, flushes it to disk and renames it over the
 * target, so a failed save leaves the previous file as it was.
 *
 * Reading. The file is read in 1 MiB blocks through an incremental parser
 * that keeps only the record in progress, so neither long fields nor big
 * files are ever held whole. A UTF-8 byte order mark at the start is
 * skipped; outside quotes a line ends in LF or CR LF (a CR right before the
 * end of the file ends the line too). Inside quotes text is kept as it is.
 *
 * A line is refused whole, and the load goes on with the next one, when it
 * has the wrong number of fields, a numeric field that is not plain decimal
 * digits fitting size_t, text after a closing quote, a quote inside an
 * unquoted field, a CR outside quotes that is not part of a line end, or a
 * NUL byte. A quote that never closes takes the rest of the file with it:
 * that last record is dropped and, the trailer being swallowed too, the
 * load returns 1. Empty lines are skipped.
 *
 * The trailer is an unquoted line of digits only, with or without a line
 * end; loading stops there. A trailer too large for size_t reads as
 * SIZE_MAX: it never wraps to a small identifier that the file may already
 * use.
 */
#include "serializer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "book.h"
#include "borrow.h"
#include "user.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#ifdef _WIN32
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <ctime>
#endif

namespace {

constexpr size_t kBlockSize = size_t{1} << 20;

#ifdef _WIN32
constexpr std::string_view kLineEnd = "\r\n";
#else
constexpr std::string_view kLineEnd = "\n";
#endif

/* ------------------------------------------------------------------ */
/* The target file: a temporary beside it, renamed over it on commit.  */
/* ------------------------------------------------------------------ */

/* Hex digits of a value mixed from the clock, the process and an attempt
 * counter: names for temporaries; the O_EXCL/CREATE_NEW open makes them
 * unique. */
std::string temp_suffix(unsigned long long seed, unsigned attempt)
{
    unsigned long long x = seed ^ (0x9e3779b97f4a7c15ULL * (attempt + 1u));
    x ^= x >> 31;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 29;
    std::string out = ".";
    for (int i = 0; i < 8; ++i, x >>= 4)
        out.push_back("0123456789abcdef"[x & 15u]);
    return out;
}

#ifndef _WIN32

/* Follows symbolic links so that the file they name is replaced and the
 * links stay. A dangling link names the file to create. False for a loop or
 * a path that cannot be examined. */
bool resolve_links(std::string& path)
{
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            return errno == ENOENT;
        if (!S_ISLNK(st.st_mode))
            return true;
        std::string link(PATH_MAX, '\0');
        ssize_t n = readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size())
            return false;
        link.resize(static_cast<size_t>(n));
        size_t slash = path.rfind('/');
        if (link.front() == '/' || slash == std::string::npos)
            path = link;
        else
            path = path.substr(0, slash + 1) + link;
    }
    return false;
}

class TargetFile {
public:
    TargetFile() = default;
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;
    ~TargetFile() { discard(); }

    bool open(const char* file)
    {
        target_ = file;
        if (target_.empty() || !resolve_links(target_))
            return false;
        size_t slash = target_.rfind('/');
        dir_ = slash == std::string::npos ? "." : target_.substr(0, slash + 1);

        struct stat st;
        bool exists = stat(target_.c_str(), &st) == 0;
        if (!exists && errno != ENOENT)
            return false;
        if (exists && (!S_ISREG(st.st_mode) ||
                       faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0))
            return false;

        /* A new file gets 0666 less the umask, as fopen would create it;
         * a replaced one gets its predecessor's owner and mode below. */
        struct timespec now {};
        clock_gettime(CLOCK_REALTIME, &now);
        unsigned long long seed = static_cast<unsigned long long>(now.tv_nsec) ^
                                  (static_cast<unsigned long long>(now.tv_sec) << 20) ^
                                  (static_cast<unsigned long long>(getpid()) << 40);
        for (unsigned attempt = 0; fd_ < 0; ++attempt) {
            std::string name = target_ + temp_suffix(seed, attempt);
            fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                         exists ? 0600 : 0666);
            if (fd_ >= 0)
                temp_ = std::move(name); /* ours to remove from now on */
            else if (errno != EEXIST || attempt == 100)
                return false;
        }
        if (exists) {
            if ((st.st_uid != geteuid() || st.st_gid != getegid()) &&
                fchown(fd_, st.st_uid, st.st_gid) != 0) {
                /* Only root may give a file away; keep our own owner. */
            }
            if (fchmod(fd_, st.st_mode & 07777) != 0)
                return false;
        }
        return true;
    }

    bool write(const char* data, size_t size)
    {
        while (size > 0) {
            ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }

    /* Flushes the temporary to disk and renames it over the target. */
    bool commit()
    {
        bool ok = fsync(fd_) == 0;
        ok = ::close(fd_) == 0 && ok;
        fd_ = -1;
        if (!ok || rename(temp_.c_str(), target_.c_str()) != 0)
            return false;
        temp_.clear();

        /* Make the rename itself durable. The new file is in place by now,
         * so a failure here is no reason to report the save failed. */
        int dfd = ::open(dir_.c_str(), O_RDONLY | O_CLOEXEC);
        if (dfd >= 0) {
            (void)fsync(dfd);
            ::close(dfd);
        }
        return true;
    }

    void discard()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        if (!temp_.empty())
            unlink(temp_.c_str());
        temp_.clear();
    }

private:
    std::string target_;
    std::string dir_; /* the target's directory, synced after the rename */
    std::string temp_;
    int fd_ = -1;
};

#else /* _WIN32 */

/* The final path of a symbolic link or junction, so that the file it names
 * is replaced and the link stays. */
bool resolve_links(std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    std::string final(MAX_PATH, '\0');
    DWORD n = GetFinalPathNameByHandleA(h, final.data(), static_cast<DWORD>(final.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= final.size()) {
        final.resize(n);
        n = GetFinalPathNameByHandleA(h, final.data(), static_cast<DWORD>(final.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    CloseHandle(h);
    if (n == 0 || n >= final.size())
        return false;
    final.resize(n);
    path = final;
    return true;
}

class TargetFile {
public:
    TargetFile() = default;
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;
    ~TargetFile() { discard(); }

    bool open(const char* file)
    {
        target_ = file;
        if (target_.empty())
            return false;
        DWORD attrs = GetFileAttributesA(target_.c_str());
        if (attrs == INVALID_FILE_ATTRIBUTES) {
            if (GetLastError() != ERROR_FILE_NOT_FOUND)
                return false;
            attrs = 0;
        } else {
            if ((attrs & FILE_ATTRIBUTE_REPARSE_POINT) && !resolve_links(target_))
                return false;
            attrs = GetFileAttributesA(target_.c_str());
            if (attrs == INVALID_FILE_ATTRIBUTES ||
                (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
                return false;
            /* The caller must be allowed to write the file it replaces. */
            HANDLE probe = CreateFileA(target_.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (probe == INVALID_HANDLE_VALUE)
                return false;
            CloseHandle(probe);
            attrs &= FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        }
        unsigned long long seed = GetTickCount64() ^
                                  (static_cast<unsigned long long>(GetCurrentProcessId()) << 32);
        for (unsigned attempt = 0; handle_ == INVALID_HANDLE_VALUE; ++attempt) {
            std::string name = target_ + temp_suffix(seed, attempt);
            handle_ = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  attrs ? attrs : FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle_ != INVALID_HANDLE_VALUE)
                temp_ = std::move(name); /* ours to remove from now on */
            else if (GetLastError() != ERROR_FILE_EXISTS || attempt == 100)
                return false;
        }
        return true;
    }

    bool write(const char* data, size_t size)
    {
        while (size > 0) {
            DWORD chunk = size > (DWORD{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(size);
            DWORD done = 0;
            if (!WriteFile(handle_, data, chunk, &done, nullptr) || done == 0)
                return false;
            data += done;
            size -= done;
        }
        return true;
    }

    bool commit()
    {
        bool ok = FlushFileBuffers(handle_) != 0;
        ok = CloseHandle(handle_) != 0 && ok;
        handle_ = INVALID_HANDLE_VALUE;
        if (!ok || !MoveFileExA(temp_.c_str(), target_.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return false;
        temp_.clear();
        return true;
    }

    void discard()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        if (!temp_.empty())
            DeleteFileA(temp_.c_str());
        temp_.clear();
    }

private:
    std::string target_;
    std::string temp_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

#endif /* _WIN32 */

/* ------------------------------------------------------------------ */
/* Writing lines                                                       */
/* ------------------------------------------------------------------ */

/* A set of bytes, for scanning text one byte at a time. */
using StopTable = std::array<bool, 256>;

constexpr StopTable stop_table(std::string_view stops)
{
    StopTable table{};
    for (char c : stops)
        table[static_cast<unsigned char>(c)] = true;
    return table;
}

/* The bytes that make a text go out quoted, and its terminator. */
constexpr StopTable kQuoteStops = stop_table(std::string_view(",\"\r\n\0", 5));

/* Formats record lines into one large buffer and hands it to the target in
 * big chunks. The first failed write latches: nothing more is written and
 * finish() reports false. Nothing here allocates, so no exception can leave
 * a saver while the list walks it. */
class Writer {
public:
    Writer(TargetFile& out, char* buffer) : out_(out), buffer_(buffer) {}

    /* One record line: the fields separated by commas, then the line end. */
    template <typename... Fields>
    void line(const Fields&... fields)
    {
        bool first = true;
        ((first ? void(first = false) : put(','), field(fields)), ...);
        put(kLineEnd);
    }

    void trailer(size_t last_id) { field(last_id); }

    bool finish() { return flush() && ok_; }

private:
    void field(size_t value)
    {
        char digits[std::numeric_limits<size_t>::digits10 + 1]; /* always room */
        const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        put(std::string_view(digits, static_cast<size_t>(end - digits)));
    }

    void field(const char* text)
    {
        if (text == nullptr)
            return;
        /* One pass up to the terminator, or to the first byte that calls
         * for quotes. */
        const char* p = text;
        while (!kQuoteStops[static_cast<unsigned char>(*p)])
            ++p;
        if (*p == '\0') {
            put(std::string_view(text, static_cast<size_t>(p - text)));
            return;
        }
        std::string_view rest = text;
        put('"');
        for (;;) {
            size_t cut = rest.find('"');
            put(rest.substr(0, cut));
            if (cut == std::string_view::npos)
                break;
            put(std::string_view("\"\""));
            rest.remove_prefix(cut + 1);
        }
        put('"');
    }

    void put(char c)
    {
        if (used_ == kBlockSize && !flush())
            return;
        buffer_[used_++] = c;
    }

    void put(std::string_view text)
    {
        while (!text.empty()) {
            if (used_ == kBlockSize && !flush())
                return;
            size_t n = std::min(text.size(), kBlockSize - used_);
            std::memcpy(buffer_ + used_, text.data(), n);
            used_ += n;
            text.remove_prefix(n);
        }
    }

    bool flush()
    {
        if (ok_ && used_ > 0)
            ok_ = out_.write(buffer_, used_);
        used_ = 0;
        return ok_;
    }

    TargetFile& out_;
    char* buffer_;
    size_t used_ = 0;
    bool ok_ = true;
};

/* ------------------------------------------------------------------ */
/* Reading lines                                                       */
/* ------------------------------------------------------------------ */

/* The fields of one record line. Every view is followed by a NUL in the
 * parser's own storage, so data() is also a C string. */
using Fields = std::span<const std::string_view>;

using SaverFunction = IterationFunction; /* (record, Writer*) */
using LoaderFunction = void (*)(Fields fields, List list);

/* Characters that end a run of plain text outside and inside quotes. */
constexpr StopTable kPlainStops = stop_table(std::string_view(",\n\r\"\0", 5));
constexpr StopTable kQuotedStops = stop_table(std::string_view("\"\0", 2));

/* Bytes looked at together by the plain-line path (Parser::plain_line). */
constexpr size_t kChunk = 16;

/* Bit i set when chunk[i] ends a run of plain text outside quotes (a comma,
 * LF, CR, quote or NUL: kPlainStops), for the at most kChunk bytes from
 * chunk that lie before end. Sixteen at a time where SSE2 exists. */
unsigned stop_mask(const char* chunk, const char* end)
{
#if defined(__SSE2__) || defined(_M_X64)
    if (end - chunk >= static_cast<std::ptrdiff_t>(kChunk)) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chunk));
        __m128i hits = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(','));
        hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')));
        hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')));
        hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')));
        hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, _mm_setzero_si128()));
        return static_cast<unsigned>(_mm_movemask_epi8(hits));
    }
#endif
    unsigned mask = 0;
    const size_t count = std::min(kChunk, static_cast<size_t>(end - chunk));
    for (size_t i = 0; i < count; ++i)
        if (kPlainStops[static_cast<unsigned char>(chunk[i])])
            mask |= 1u << i;
    return mask;
}

const char* find_stop(const char* p, const char* end, const StopTable& stops)
{
    while (p < end && !stops[static_cast<unsigned char>(*p)])
        ++p;
    return p;
}

bool all_digits(std::string_view text)
{
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

/* Plain decimal digits that fit size_t; nothing else. */
bool parse_size(std::string_view text, size_t& value)
{
    if (text.empty())
        return false;
    if (text.size() <= std::numeric_limits<size_t>::digits10) {
        /* Too few digits to overflow: the common case, done by hand. */
        size_t v = 0;
        for (char c : text) {
            const auto digit = static_cast<unsigned char>(c - '0');
            if (digit > 9)
                return false;
            v = v * 10 + digit;
        }
        value = v;
        return true;
    }
    const char* end = text.data() + text.size();
    auto [stop, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && stop == end;
}

/* Splits a byte stream into records, one block at a time, keeping only the
 * record in progress between blocks. Each complete record goes to the loader
 * unless it is empty, malformed or the trailer. */
class Parser {
public:
    Parser(List list, LoaderFunction loader) : list_(list), loader_(loader) {}

    /* Consumes a block; false once the trailer has ended the load. The
     * block is the caller's scratch space: whole plain lines are split in
     * place, their separators overwritten with NULs. */
    bool feed(char* block, char* end)
    {
        const char* p = block;
        while (p < end) {
            if (!started_) {
                if (char* next = plain_line(block + (p - block), end)) {
                    p = next;
                    if (deliver(false))
                        return false;
                    continue;
                }
            }
            started_ = true;
            switch (state_) {
            case State::field_start:
                if (*p == '"') {
                    quoted_ = true;
                    state_ = State::quoted;
                    ++p;
                } else {
                    state_ = State::plain;
                }
                break;
            case State::plain: {
                const char* stop = find_stop(p, end, kPlainStops);
                text_.append(p, stop);
                if ((p = stop) == end)
                    break;
                char c = *p++;
                if (c == ',')
                    end_field();
                else if (c == '\n') {
                    if (end_record())
                        return false;
                } else if (c == '\r')
                    state_ = State::after_cr;
                else
                    bad_ = true; /* a quote or NUL inside an unquoted field */
                break;
            }
            case State::quoted: {
                const char* stop = find_stop(p, end, kQuotedStops);
                text_.append(p, stop);
                if ((p = stop) == end)
                    break;
                char c = *p++;
                if (c == '"')
                    state_ = State::quote_seen;
                else
                    bad_ = true; /* NUL */
                break;
            }
            case State::quote_seen:
                if (*p == '"') {
                    text_.push_back('"');
                    state_ = State::quoted;
                    ++p;
                } else {
                    /* A separator or line end is handled as after any field;
                     * anything else after the closing quote spoils the line. */
                    bad_ = bad_ || (*p != ',' && *p != '\n' && *p != '\r');
                    state_ = State::plain;
                }
                break;
            case State::after_cr:
                if (*p == '\n') {
                    ++p;
                    if (end_record())
                        return false;
                } else {
                    bad_ = true; /* a CR that is not part of a line end */
                    state_ = State::plain;
                }
                break;
            }
        }
        return true;
    }

    /* End of file: the last record needs no line end, but one whose quote
     * never closed is dropped. */
    void finish()
    {
        if (started_ && state_ != State::quoted)
            end_record();
    }

    size_t last_id() const { return last_id_; }

private:
    enum class State { field_start, plain, quoted, quote_seen, after_cr };

    void end_field()
    {
        ends_.push_back(text_.size());
        text_.push_back('\0');
        state_ = State::field_start;
    }

    /* Hands the finished record on; true when it was the trailer. */
    bool end_record()
    {
        end_field();
        bool trailer = false;
        if (!bad_)
            trailer = dispatch();
        text_.clear();
        ends_.clear();
        bad_ = quoted_ = started_ = false;
        return trailer;
    }

    /* The common line, taken whole without copying: it ends in this block
     * with LF or CR LF and holds no quote, NUL or other CR, so the state
     * machine would split it exactly at its commas. Its fields go to
     * fields_, each ended in place by a NUL, and the first byte after the
     * line comes back. Null, nothing changed, for any other line. */
    char* plain_line(char* line, char* end)
    {
        fields_.clear();
        char* start = line;
        for (char* chunk = line; chunk < end; chunk += kChunk) {
            for (unsigned mask = stop_mask(chunk, end); mask != 0; mask &= mask - 1) {
                char* stop = chunk + std::countr_zero(mask);
                if (*stop == ',') {
                    fields_.emplace_back(start, static_cast<size_t>(stop - start));
                    start = stop + 1;
                    continue;
                }
                char* next = stop + 1;
                if (*stop == '\r' && next < end && *next == '\n')
                    ++next;
                else if (*stop != '\n')
                    return nullptr; /* a quote, a NUL or a lone CR */
                fields_.emplace_back(start, static_cast<size_t>(stop - start));
                for (std::string_view field : fields_)
                    line[field.data() + field.size() - line] = '\0';
                return next;
            }
        }
        return nullptr;
    }

    bool dispatch()
    {
        fields_.clear();
        for (size_t start = 0, i = 0; i < ends_.size(); start = ends_[i++] + 1)
            fields_.emplace_back(text_.data() + start, ends_[i] - start);
        return deliver(quoted_);
    }

    /* Hands fields_ to the loader, unless they are an empty line or the
     * trailer; true for the trailer. */
    bool deliver(bool quoted)
    {
        if (fields_.size() == 1 && !quoted) {
            std::string_view only = fields_.front();
            if (only.empty())
                return false; /* an empty line */
            if (all_digits(only)) {
                if (!parse_size(only, last_id_))
                    last_id_ = std::numeric_limits<size_t>::max();
                return true;
            }
        }
        loader_(fields_, list_);
        return false;
    }

    List list_;
    LoaderFunction loader_;
    size_t last_id_ = 1;
    State state_ = State::field_start;
    bool started_ = false; /* bytes seen since the last record ended */
    bool quoted_ = false;  /* some field of this record was quoted */
    bool bad_ = false;     /* this record is refused */
    std::string text_;     /* the record's fields, each followed by a NUL */
    std::vector<size_t> ends_;
    std::vector<std::string_view> fields_;
};

/* ------------------------------------------------------------------ */
/* The framework                                                       */
/* ------------------------------------------------------------------ */

bool serializer_save(const char* file, List list, SaverFunction saver, size_t last_id)
{
    if (file == nullptr || list == nullptr || saver == nullptr)
        return false;
    try {
        std::unique_ptr<char[]> buffer(new char[kBlockSize]);
        TargetFile out;
        if (!out.open(file))
            return false;
        Writer writer(out, buffer.get());
        list_foreach(list, saver, &writer);
        writer.trailer(last_id);
        return writer.finish() && out.commit();
    } catch (...) {
        return false; /* out of memory: the target file is left alone */
    }
}

/* Loads the file into the list. When memory runs out part way, the records
 * this load appended are released with `release`, so the list is as it
 * was, and the load answers 0, as for a refused call. */
size_t serializer_load(const char* file, List list, LoaderFunction loader,
                       ConsumerFunction release)
{
    if (file == nullptr || list == nullptr || loader == nullptr)
        return 0;
    std::FILE* in = std::fopen(file, "rb");
    if (in == nullptr)
        return errno == ENOMEM ? 0 : 1;
    std::setvbuf(in, nullptr, _IONBF, 0);

    const size_t held = list_size(list);
    size_t last_id = 1;
    try {
        std::unique_ptr<char[]> block(new char[kBlockSize]);
        Parser parser(list, loader);
        for (bool first = true;; first = false) {
            size_t got = std::fread(block.get(), 1, kBlockSize, in);
            char* p = block.get();
            if (first && got >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0)
                p += 3;
            if (!parser.feed(p, block.get() + got))
                break; /* the trailer */
            if (got < kBlockSize) {
                /* End of file; after a read error the record in progress
                 * may be cut short, so it is dropped. */
                if (!std::ferror(in))
                    parser.finish();
                break;
            }
        }
        last_id = parser.last_id();
    } catch (...) {
        while (list_size(list) > held)
            release(list_pop_back(list));
        last_id = 0;
    }
    std::fclose(in);
    return last_id;
}

/* ------------------------------------------------------------------ */
/* Books, users and loans                                              */
/* ------------------------------------------------------------------ */

/*
 * Appends the record a loader built. A line the record refuses adds
 * nothing; but when its fields were valid (`valid` is only asked then), a
 * missing record, or one the list could not take, means memory ran out,
 * and the whole load is undone.
 */
template <typename Record, typename Release, typename Valid>
void append(List list, Record record, Release release, Valid valid)
{
    if (record == nullptr) {
        if (valid())
            throw std::bad_alloc();
        return;
    }
    if (list_push_back(list, record) == nullptr) {
        release(record);
        throw std::bad_alloc();
    }
}

void book_saver(void* record, void* args)
{
    Book book = static_cast<Book>(record);
    static_cast<Writer*>(args)->line(book_get_id(book), book_get_title(book),
                                     book_get_author(book), book_get_genre(book),
                                     book_get_quantity(book), book_get_available(book));
}

/* id,title,author,genre,quantity,available. An available count above the
 * quantity is refused by book_set_available, leaving every copy on the
 * shelf. */
void book_loader(Fields f, List list)
{
    size_t id, quantity, available;
    if (f.size() != 6 || !parse_size(f[0], id) || !parse_size(f[4], quantity) ||
        !parse_size(f[5], available))
        return;
    Book book = book_new(id, f[1].data(), f[2].data(), f[3].data(), quantity);
    if (book != nullptr)
        (void)book_set_available(book, available);
    append(list, book, book_delete,
           [&] { return !f[1].empty() && !f[2].empty() && !f[3].empty(); });
}

void user_saver(void* record, void* args)
{
    User user = static_cast<User>(record);
    static_cast<Writer*>(args)->line(user_get_id(user), user_get_name(user),
                                     user_get_address(user), user_get_phone(user));
}

/* id,name,address,phone; user_new validates the phone. */
void user_loader(Fields f, List list)
{
    size_t id;
    if (f.size() != 4 || !parse_size(f[0], id))
        return;
    append(list, user_new(id, f[1].data(), f[2].data(), f[3].data()), user_delete, [&] {
        return !f[1].empty() && !f[2].empty() && f[3].size() < sizeof(Phone) &&
               common_verify_phone(f[3].data());
    });
}

void borrow_saver(void* record, void* args)
{
    Borrow borrow = static_cast<Borrow>(record);
    size_t returned = borrow_has_returned(borrow) ? 1 : 0;
    static_cast<Writer*>(args)->line(borrow_get_id(borrow), borrow_get_user_id(borrow),
                                     borrow_get_book_id(borrow), borrow_get_date(borrow),
                                     borrow_get_return_date(borrow), returned);
}

/* id,user_id,book_id,date,return_date,returned; borrow_new validates both
 * dates and their order. `returned` is digits: all zeros for an open loan,
 * anything else for a returned one. */
void borrow_loader(Fields f, List list)
{
    size_t id, user_id, book_id;
    if (f.size() != 6 || !parse_size(f[0], id) || !parse_size(f[1], user_id) ||
        !parse_size(f[2], book_id) || !all_digits(f[5]))
        return;
    Borrow borrow = borrow_new(id, user_id, book_id, f[3].data(), f[4].data());
    if (borrow != nullptr && f[5].find_first_not_of('0') != std::string_view::npos)
        (void)borrow_return(borrow);
    append(list, borrow, borrow_delete, [&] {
        return common_verify_date(f[3].data()) && common_verify_date(f[4].data()) &&
               common_compare_dates(f[4].data(), f[3].data()) == 1;
    });
}

} // namespace

bool serializer_save_books(const char* file, List books, size_t last_id)
{
    return serializer_save(file, books, book_saver, last_id);
}

bool serializer_save_users(const char* file, List users, size_t last_id)
{
    return serializer_save(file, users, user_saver, last_id);
}

bool serializer_save_borrows(const char* file, List borrows, size_t last_id)
{
    return serializer_save(file, borrows, borrow_saver, last_id);
}

size_t serializer_load_books(const char* file, List books)
{
    return serializer_load(file, books, book_loader, book_deleter);
}

size_t serializer_load_users(const char* file, List users)
{
    return serializer_load(file, users, user_loader, user_deleter);
}

size_t serializer_load_borrows(const char* file, List borrows)
{
    return serializer_load(file, borrows, borrow_loader, borrow_deleter);
}
