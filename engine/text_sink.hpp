/*
 * text_sink.hpp - a long answer (a list of 100,000 books, an export)
 * written into a buffer of its own and handed on in pieces while it is
 * written, so that it never sits whole in memory. Appending is a copy
 * into the buffer and nothing more: an answer is made of millions of
 * short pieces.
 *
 *     TextSink out([](std::string_view piece) { fwrite(...); });
 *     for (...) { out.append(...); out.flush_if_full(); }
 *     out.flush();
 */
#ifndef LENDREC_ENGINE_TEXT_SINK_HPP
#define LENDREC_ENGINE_TEXT_SINK_HPP

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace desk {

/* The decimal text of a whole number, held in place: for the many numbers
 * of a long answer, with no string made for each. */
class Decimal {
public:
    /* Digits written from the last, at the end of text_. */
    explicit Decimal(std::size_t number) : first_(sizeof text_) { digits(number); }
    explicit Decimal(long number) : first_(sizeof text_)
    {
        /* The magnitude as unsigned, so that the most negative long fits. */
        const auto magnitude = static_cast<unsigned long long>(number);
        digits(number < 0 ? 0 - magnitude : magnitude);
        if (number < 0)
            text_[--first_] = '-';
    }
    Decimal(const Decimal&) = delete; /* view() points into it */
    Decimal& operator=(const Decimal&) = delete;
    std::string_view view() const { return {text_ + first_, sizeof text_ - first_}; }

private:
    void digits(unsigned long long number)
    {
        do
            text_[--first_] = static_cast<char>('0' + number % 10);
        while ((number /= 10) != 0);
    }

    char text_[24];
    std::size_t first_;
};

class TextSink {
public:
    /* Takes each piece in order. It may throw (a full disk); the throw
     * goes through to whoever is writing. */
    using Write = std::function<void(std::string_view)>;

    explicit TextSink(Write write) : write_(std::move(write)), buffer_(2 * kPiece) {}

    void append(std::string_view piece)
    {
        std::memcpy(room(piece.size()), piece.data(), piece.size());
        used_ += piece.size();
    }
    void append(char c) { *room(1) = c, ++used_; }

    /* Space for `size` more bytes after what is written: write there, then
     * call commit() with the end of what was written. */
    char* room(std::size_t size)
    {
        if (buffer_.size() - used_ < size)
            buffer_.resize(std::max(2 * buffer_.size(), used_ + size));
        return buffer_.data() + used_;
    }
    void commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.data()); }

    /* Hands on what was written once it passes a piece's size; call it
     * between records. */
    void flush_if_full()
    {
        if (used_ >= kPiece)
            flush();
    }

    /* Hands on everything written so far. */
    void flush()
    {
        if (used_ == 0)
            return;
        const std::size_t used = std::exchange(used_, 0);
        write_(std::string_view(buffer_.data(), used));
    }

private:
    static constexpr std::size_t kPiece = std::size_t{1} << 16;
    Write write_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
};

/* Everything `write_all(sink)` writes, as one text: for small answers and
 * tests. */
template <typename WriteAll>
std::string collected(WriteAll&& write_all)
{
    std::string all;
    TextSink sink([&all](std::string_view piece) { all += piece; });
    write_all(sink);
    sink.flush();
    return all;
}

} // namespace desk

#endif
