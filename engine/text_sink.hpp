/*
 * text_sink.hpp - a long answer (a list of 100,000 books, an export)
 * handed on in pieces while it is written, so that it never sits whole in
 * memory.
 *
 *     TextSink out([](std::string_view piece) { fwrite(...); });
 *     for (...) { out.text() += ...; out.flush_if_full(); }
 *     out.flush();
 */
#ifndef LENDREC_ENGINE_TEXT_SINK_HPP
#define LENDREC_ENGINE_TEXT_SINK_HPP

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace desk {

class TextSink {
public:
    /* Takes each piece in order. It may throw (a full disk); the throw
     * goes through to whoever is writing. */
    using Write = std::function<void(std::string_view)>;

    explicit TextSink(Write write) : write_(std::move(write)) {}

    /* Where writers append. */
    std::string& text() { return text_; }

    /* Hands on what was written once it passes a piece's size; call it
     * between records. */
    void flush_if_full()
    {
        if (text_.size() >= kPiece)
            flush();
    }

    /* Hands on everything written so far. */
    void flush()
    {
        if (text_.empty())
            return;
        write_(text_);
        text_.clear();
    }

private:
    static constexpr std::size_t kPiece = std::size_t{1} << 16;
    Write write_;
    std::string text_;
};

/* Appends `pieces` to `out` with one growth of `out`: cheaper than an
 * append each when a long answer is made of many short pieces. */
inline void append_all(std::string& out, std::initializer_list<std::string_view> pieces)
{
    std::size_t size = out.size();
    for (std::string_view piece : pieces)
        size += piece.size();
    const std::size_t start = out.size();
    out.resize(size);
    char* end = out.data() + start;
    for (std::string_view piece : pieces)
        end = std::copy(piece.begin(), piece.end(), end);
}

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
