/*
 * json_text.hpp - JSON text written straight from a view's fields, for
 * answers of many records (a 100,000-book list), where building a tree of
 * values first costs several times the library's load.
 *
 * A view lists its fields once, as `fields(out)` calling out(key, value)
 * for each; JsonText writes them as text, and views.hpp builds the same
 * fields into a tree for small answers, so a shape is written down once.
 */
#ifndef LENDREC_ENGINE_JSON_TEXT_HPP
#define LENDREC_ENGINE_JSON_TEXT_HPP

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "text_sink.hpp"

namespace desk {

/* Appends `text` to `out` as a JSON string: quoted, with quotes,
 * backslashes and control characters escaped; bytes that are not UTF-8
 * become U+FFFD. */
void append_json_string(TextSink& out, std::string_view text);

/* A key of a view's JSON object: a literal, checked when the program is
 * compiled to be printable ASCII with no quote or backslash, so that it is
 * written as it stands. */
class JsonKey {
public:
    template <std::size_t N>
    consteval JsonKey(const char (&text)[N]) : text_(text, N - 1)
    {
        for (char c : text_)
            if (c < 0x20 || c > 0x7E || c == '"' || c == '\\')
                throw "a JSON key is written as it stands: printable ASCII, no quote or backslash";
    }
    std::string_view text() const { return text_; }

private:
    std::string_view text_;
};

class JsonText {
public:
    /* Appends to `out`, which must outlive the writer. */
    explicit JsonText(TextSink& out) : out_(out) {}

    /* One object of `view`'s fields. */
    template <typename View>
    void object(const View& view)
    {
        out_.append('{');
        first_ = true;
        view.fields(*this);
        out_.append('}');
        first_ = false;
    }

    /* One field; called by a view's fields(). */
    template <typename Value>
    void operator()(JsonKey key, const Value& value)
    {
        char* at = out_.room(key.text().size() + 6);
        if (!first_)
            *at++ = ',', *at++ = ' ';
        *at++ = '"';
        for (char c : key.text())
            *at++ = c;
        *at++ = '"', *at++ = ':', *at++ = ' ';
        out_.commit(at);
        first_ = false;
        write(value);
    }

private:
    void write(std::size_t number) { out_.append(Decimal(number).view()); }
    void write(long number) { out_.append(Decimal(number).view()); }
    void write(bool flag) { out_.append(flag ? "true" : "false"); }
    void write(const std::string& text) { append_json_string(out_, text); }
    void write(const std::optional<std::string>& text)
    {
        if (text)
            append_json_string(out_, *text);
        else
            out_.append("null");
    }
    template <typename Number>
    void write(const std::optional<Number>& number)
    {
        if (number)
            write(*number);
        else
            out_.append("null");
    }
    template <typename View>
    void write(const View& view)
    {
        object(view);
    }

    TextSink& out_;
    bool first_ = true;
};

/* A JSON array of views' shapes, one a line, written into `sink` as the
 * views come: "[", the objects, then "]" and a newline at close(). */
class JsonArray {
public:
    explicit JsonArray(TextSink& sink) : sink_(sink), writer_(sink) { sink_.append('['); }

    template <typename View>
    void add(const View& view)
    {
        char* at = sink_.room(4);
        if (!empty_)
            *at++ = ',';
        *at++ = '\n', *at++ = ' ', *at++ = ' ';
        sink_.commit(at);
        empty_ = false;
        writer_.object(view);
        sink_.flush_if_full();
    }

    /* Ends the array and hands on what is left. */
    void close()
    {
        sink_.append(empty_ ? "]\n" : "\n]\n");
        sink_.flush();
    }

private:
    TextSink& sink_;
    JsonText writer_;
    bool empty_ = true;
};

/* A JSON array of the views' shapes as one text (JsonArray). */
template <typename Views>
std::string json_array_text(const Views& views)
{
    return collected([&views](TextSink& sink) {
        JsonArray array(sink);
        for (const auto& view : views)
            array.add(view);
        array.close();
    });
}

} // namespace desk

#endif
