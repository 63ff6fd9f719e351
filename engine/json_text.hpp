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

namespace desk {

/* Appends `text` to `out` as a JSON string: quoted, with quotes,
 * backslashes and control characters escaped; bytes that are not UTF-8
 * become U+FFFD. */
void append_json_string(std::string& out, std::string_view text);

class JsonText {
public:
    /* Appends to `out`, which must outlive the writer. */
    explicit JsonText(std::string& out) : out_(out) {}

    /* One object of `view`'s fields. */
    template <typename View>
    void object(const View& view)
    {
        out_ += '{';
        first_ = true;
        view.fields(*this);
        out_ += '}';
        first_ = false;
    }

    /* One field; called by a view's fields(). */
    template <typename Value>
    void operator()(std::string_view key, const Value& value)
    {
        if (!first_)
            out_ += ", ";
        first_ = false;
        append_json_string(out_, key);
        out_ += ": ";
        write(value);
    }

private:
    void write(std::size_t number) { out_ += std::to_string(number); }
    void write(long number) { out_ += std::to_string(number); }
    void write(bool flag) { out_ += flag ? "true" : "false"; }
    void write(const std::string& text) { append_json_string(out_, text); }
    void write(const std::optional<std::string>& text)
    {
        if (text)
            append_json_string(out_, *text);
        else
            out_ += "null";
    }
    template <typename View>
    void write(const View& view)
    {
        object(view);
    }

    std::string& out_;
    bool first_ = true;
};

/* A JSON array of the views' shapes, one a line, as text ending in a
 * newline. */
template <typename Views>
std::string json_array_text(const Views& views)
{
    std::string out = "[";
    JsonText writer(out);
    const char* separator = "\n  ";
    for (const auto& view : views) {
        out += separator;
        writer.object(view);
        separator = ",\n  ";
    }
    out += views.empty() ? "]\n" : "\n]\n";
    return out;
}

} // namespace desk

#endif
