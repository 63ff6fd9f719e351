/*
 * record_parser.cpp - the incremental record-file parser and the load that
 * feeds it one block at a time.
 */
#include "record_parser.hpp"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "record_rules.hpp"
#include "source_file.hpp"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace lendrec {
namespace {

/* Characters that end a run of text outside quotes and inside them. */
constexpr StopTable kPlainStops = stop_table(std::string_view(",\n\r\0", 4));
constexpr StopTable kQuotedStops = stop_table(std::string_view("\"\n\0", 3));

/* Bytes looked at together by the plain-line path (Parser::plain_line). */
constexpr size_t kChunk = 16;

/* Bit i set when chunk[i] is a comma, LF, CR, quote or NUL, for the at most
 * kChunk bytes from chunk that lie before end. Sixteen at a time where SSE2
 * exists. */
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
        if (kPlainStops[static_cast<unsigned char>(chunk[i])] || chunk[i] == '"')
            mask |= 1u << i;
    return mask;
}

char* find_stop(char* p, char* end, const StopTable& stops)
{
    while (p < end && !stops[static_cast<unsigned char>(*p)])
        ++p;
    return p;
}

/* Splits a byte stream into records, one block at a time, keeping only the
 * record in progress between blocks, and hands each complete record to its
 * kind's loader unless it is empty, refused or the trailer. Counts lines as
 * it goes, for the problems it tells. */
class Parser {
public:
    Parser(List list, const RecordKind& kind, const Problems& problems)
        : list_(list), kind_(kind), problems_(problems)
    {}

    /* Consumes a block that starts `offset` bytes into the file. False once
     * the trailer has ended the load; rest() is then the first byte after
     * the trailer line. The block is the caller's scratch space: whole plain
     * lines are split in place, their separators overwritten with NULs. */
    bool feed(char* p, char* end, std::uint64_t offset)
    {
        block_ = p;
        block_offset_ = offset;
        while (p < end && !trailer_) {
            if (!started_) {
                if (char* next = plain_line(p, end)) {
                    record_line_ = line_++;
                    p = next;
                    deliver(false);
                    continue;
                }
                started_ = true;
                record_line_ = line_;
            }
            p = step(p, end);
        }
        rest_ = p;
        return !trailer_;
    }

    /* End of file: the last record needs no line end. True when reading is
     * to resume at resume_offset() (a quote never closed). */
    bool finish()
    {
        const size_t trailer_line = started_ ? line_ + 1 : line_;
        if (state_ == State::quoted) {
            problems_.tell(record_line_, {Fault::quote_never_closed});
            if (resume_offset_ != 0)
                return true;
        } else if (started_) {
            end_record();
        }
        if (!trailer_)
            problems_.tell(trailer_line, {Fault::no_trailer});
        return false;
    }

    /* Where reading resumes after a quote that never closed: the line
     * after the one that opened it. */
    std::uint64_t resume_offset() const { return resume_offset_; }

    /* Forgets the record in progress before reading from resume_offset(). */
    void resume()
    {
        reset_record();
        line_ = resume_line_;
        resume_offset_ = 0;
    }

    const char* rest() const { return rest_; }
    size_t line() const { return line_; }
    size_t last_id() const { return last_id_; }

private:
    enum class State { field_start, plain, quoted, quote_seen, after_cr };

    /* One step of the state machine; the first byte not yet consumed. */
    char* step(char* p, char* end)
    {
        switch (state_) {
        case State::field_start:
            return field_start(p);
        case State::plain:
            return plain(p, end);
        case State::quoted:
            return quoted(p, end);
        case State::quote_seen:
            return quote_seen(p);
        case State::after_cr:
            return after_cr(p);
        }
        return end;
    }

    char* field_start(char* p)
    {
        if (*p != '"') {
            state_ = State::plain;
            return p;
        }
        quoted_ = true;
        resume_offset_ = 0;
        state_ = State::quoted;
        return p + 1;
    }

    char* plain(char* p, char* end)
    {
        char* stop = find_stop(p, end, kPlainStops);
        text_.append(p, stop);
        if (stop == end)
            return end;
        if (*stop == ',') {
            end_field();
        } else if (*stop == '\n') {
            ++line_;
            end_record();
        } else if (*stop == '\r') {
            state_ = State::after_cr;
        } else {
            spoil(Fault::nul_byte);
        }
        return stop + 1;
    }

    char* quoted(char* p, char* end)
    {
        char* stop = find_stop(p, end, kQuotedStops);
        text_.append(p, stop);
        if (stop == end)
            return end;
        if (*stop == '"') {
            state_ = State::quote_seen;
        } else if (*stop == '\n') {
            text_.push_back('\n');
            note_line_in_quotes(stop + 1);
        } else {
            spoil(Fault::nul_byte);
        }
        return stop + 1;
    }

    char* quote_seen(char* p)
    {
        if (*p == '"') {
            text_.push_back('"');
            state_ = State::quoted;
            return p + 1;
        }
        /* A separator or line end is handled as after any field. */
        if (*p != ',' && *p != '\n' && *p != '\r')
            spoil(Fault::text_after_quote);
        state_ = State::plain;
        return p;
    }

    char* after_cr(char* p)
    {
        if (*p != '\n') {
            spoil(Fault::stray_cr);
            state_ = State::plain;
            return p;
        }
        ++line_;
        end_record();
        return p + 1;
    }

    /* A line end inside quotes, `next` right after it: the first one after
     * the quote opened is where reading resumes should it never close. */
    void note_line_in_quotes(const char* next)
    {
        ++line_;
        if (resume_offset_ == 0) {
            resume_offset_ = block_offset_ + static_cast<std::uint64_t>(next - block_);
            resume_line_ = line_;
        }
    }

    /* The record is refused for `fault`, unless an earlier one came first. */
    void spoil(Fault fault)
    {
        if (bad_ == Fault::none)
            bad_ = fault;
    }

    void end_field()
    {
        ends_.push_back(text_.size());
        text_.push_back('\0');
        state_ = State::field_start;
    }

    void end_record()
    {
        end_field();
        if (bad_ != Fault::none)
            problems_.tell(record_line_, {bad_});
        else
            dispatch();
        reset_record();
    }

    void reset_record()
    {
        text_.clear();
        ends_.clear();
        bad_ = Fault::none;
        quoted_ = started_ = false;
        state_ = State::field_start;
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

    void dispatch()
    {
        fields_.clear();
        for (size_t start = 0, i = 0; i < ends_.size(); start = ends_[i++] + 1)
            fields_.emplace_back(text_.data() + start, ends_[i] - start);
        deliver(quoted_);
    }

    /* Hands fields_ to the kind's loader, unless they are an empty line or
     * the trailer. */
    void deliver(bool quoted)
    {
        if (fields_.size() == 1 && !quoted) {
            const std::string_view only = fields_.front();
            if (only.empty())
                return;
            if (rules::all_digits(only)) {
                if (rules::parse_size(only, last_id_) != rules::NumberFault::none) {
                    last_id_ = std::numeric_limits<size_t>::max();
                    problems_.tell(record_line_, {Fault::trailer_too_large});
                }
                trailer_ = true;
                return;
            }
        }
        if (fields_.size() != kind_.layout.size())
            problems_.tell(record_line_, {Fault::field_count}, fields_.size());
        else if (const Verdict verdict = kind_.load(fields_, list_))
            problems_.tell(record_line_, verdict);
    }

    List list_;
    const RecordKind& kind_;
    const Problems& problems_;
    size_t last_id_ = 1;
    size_t line_ = 1;        /* the line the next byte belongs to */
    size_t record_line_ = 1; /* the line the record in progress began on */
    State state_ = State::field_start;
    bool started_ = false;    /* bytes seen since the last record ended */
    bool quoted_ = false;     /* some field of this record was quoted */
    bool trailer_ = false;    /* the trailer has ended the load */
    Fault bad_ = Fault::none; /* why this record is refused */
    const char* block_ = nullptr;
    std::uint64_t block_offset_ = 0;
    std::uint64_t resume_offset_ = 0; /* 0: no line end since the quote opened */
    size_t resume_line_ = 0;
    const char* rest_ = nullptr;
    std::string text_; /* the record's fields, each followed by a NUL */
    std::vector<size_t> ends_;
    std::vector<std::string_view> fields_;
};

/* The read block: the whole file and one byte more (so one read sees its
 * end), but never more than kBlockSize. */
size_t block_size(const SourceFile& in)
{
    return in.size() < kBlockSize ? in.size() + 1 : kBlockSize;
}

bool starts_with_bom(const char* block, size_t size)
{
    return size >= 3 && std::memcmp(block, "\xEF\xBB\xBF", 3) == 0;
}

/* After the trailer: tells the first line that holds anything but line
 * ends as ignored, reading on from [p, end) while `more` blocks follow. */
void tell_text_after_trailer(SourceFile& in, std::span<char> block, const char* p, const char* end,
                             bool more, size_t line, const Problems& problems)
{
    for (;;) {
        for (; p < end; ++p) {
            if (*p == '\n') {
                ++line;
            } else if (*p != '\r') {
                problems.tell(line, {Fault::after_trailer});
                return;
            }
        }
        if (!more)
            break;
        const size_t got = in.read(block.data(), block.size());
        p = block.data();
        end = p + got;
        more = got == block.size();
    }
    if (in.error() != 0)
        problems.not_read(in.error());
}

/* Feeds the whole file to the parser, block by block, going back where the
 * parser asks to read a stretch again; read errors are told as not read,
 * and end the load as the end of the file would, dropping the record in
 * progress. */
void read_records(SourceFile& in, Parser& parser, const Problems& problems)
{
    const size_t size = block_size(in);
    std::unique_ptr<char[]> block(new char[size]);
    std::uint64_t offset = 0;
    for (;;) {
        const size_t got = in.read(block.get(), size);
        char* p = block.get() + (offset == 0 && starts_with_bom(block.get(), got) ? 3 : 0);
        if (!parser.feed(p, block.get() + got, offset + static_cast<size_t>(p - block.get()))) {
            if (problems.on())
                tell_text_after_trailer(in, {block.get(), size}, parser.rest(), block.get() + got,
                                        got == size, parser.line(), problems);
            return;
        }
        offset += got;
        if (got == size)
            continue;
        if (in.error() != 0)
            return problems.not_read(in.error());
        if (!parser.finish())
            return;
        offset = parser.resume_offset();
        if (!in.seek(offset))
            return problems.not_read(in.error());
        parser.resume();
    }
}

/* Stands for "opened" among open_source's answers. */
constexpr size_t kOpened = std::numeric_limits<size_t>::max();

/* Opens the file, answering kOpened; or, when it cannot be read, the
 * load's answer: 1 (an empty store), told as not read unless the file is
 * missing, or 0 when memory ran out. */
size_t open_source(SourceFile& in, const char* file, const Problems& problems)
{
    switch (in.open(file)) {
    case SourceFile::Opened::yes:
        return kOpened;
    case SourceFile::Opened::missing:
        return 1;
    case SourceFile::Opened::failed:
        break;
    }
    const int error = errno;
    if (error == ENOMEM)
        return 0;
    problems.not_read(error);
    return 1;
}

} // namespace

size_t load_records(const char* file, List list, const RecordKind& kind, ProblemFunction problem,
                    void* args)
{
    if (file == nullptr || list == nullptr)
        return 0;
    const Problems problems(problem, args, kind);
    SourceFile in;
    if (const size_t refused = open_source(in, file, problems); refused != kOpened)
        return refused;
    const size_t held = list_size(list);
    try {
        Parser parser(list, kind, problems);
        read_records(in, parser, problems);
        return parser.last_id();
    } catch (...) {
        /* Out of memory part-way: the records this load appended go. */
        while (list_size(list) > held)
            kind.release(list_pop_back(list));
        return 0;
    }
}

} // namespace lendrec
