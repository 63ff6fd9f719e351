/*
 * render.hpp - HTML from the desk's mustache templates (web/templates/,
 * compiled into the program). A template's {{name}} writes its value
 * escaped for HTML text and attributes; the templates never use the
 * unescaped forms. Values come from the engine's views through values_of,
 * so a page shows each record in the view's one shape.
 */
#ifndef LENDREC_WEB_RENDER_HPP
#define LENDREC_WEB_RENDER_HPP

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <mstch/mstch.hpp>

#include "json_text.hpp"

namespace desk::web {

/* A template compiled into the program: its file's name without
 * ".mustache", and its text. */
struct EmbeddedTemplate {
    std::string_view name, text;
};

namespace detail {
/* Every template, in the order of their names (generated at build time). */
const std::vector<EmbeddedTemplate>& embedded_templates();
} // namespace detail

/* The text template `name` makes from `context`, every template at hand
 * as a partial ({{> head}}). Throws std::out_of_range for a name no
 * template has. */
std::string render(std::string_view name, const mstch::map& context);

/* The template values of a view's fields(): numbers as decimal text,
 * booleans as they are, absent optionals as null (false in a section),
 * nested views as maps of their own. */
class Values {
public:
    explicit Values(mstch::map& out) : out_(out) {}

    template <typename Value>
    void operator()(JsonKey key, const Value& value)
    {
        out_[std::string(key.text())] = convert(value);
    }

private:
    static mstch::node convert(std::size_t number) { return std::to_string(number); }
    static mstch::node convert(long number) { return std::to_string(number); }
    static mstch::node convert(bool flag) { return flag; }
    static mstch::node convert(const std::string& text) { return text; }
    template <typename Value>
    static mstch::node convert(const std::optional<Value>& value)
    {
        return value ? convert(*value) : mstch::node(nullptr);
    }
    template <typename View>
    static mstch::node convert(const View& view)
    {
        mstch::map nested;
        Values builder(nested);
        view.fields(builder);
        return nested;
    }

    mstch::map& out_;
};

/* The values of `view` (Values above). */
template <typename View>
mstch::map values_of(const View& view)
{
    mstch::map out;
    Values builder(out);
    view.fields(builder);
    return out;
}

/* Texts as a list a section walks with {{.}}. */
mstch::array texts(const std::vector<std::string>& lines);

} // namespace desk::web

#endif
