/*
 * render.cpp - filling the compiled-in templates.
 */
#include "render.hpp"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace desk::web {
namespace {

using Partials = std::map<std::string, std::string>;

/* Every template by name, built once. */
const Partials& by_name()
{
    static const Partials all = [] {
        Partials out;
        for (const EmbeddedTemplate& one : detail::embedded_templates())
            out.emplace(std::string(one.name), std::string(one.text));
        return out;
    }();
    return all;
}

/* The names of the partials `text` includes directly ("{{> name}}"). */
std::vector<std::string> included(std::string_view text)
{
    std::vector<std::string> names;
    for (std::size_t at = text.find("{{>"); at != std::string_view::npos;
         at = text.find("{{>", at + 3)) {
        const std::size_t end = text.find("}}", at);
        if (end == std::string_view::npos)
            break;
        std::string_view name = text.substr(at + 3, end - at - 3);
        name.remove_prefix(std::min(name.find_first_not_of(' '), name.size()));
        name = name.substr(0, name.find(' '));
        names.emplace_back(name);
    }
    return names;
}

/* The partials template `name` needs, followed through the partials it
 * includes. mstch parses every partial it is given on every render, so
 * each page is given only its own. */
Partials needed_by(const std::string& name)
{
    Partials needed;
    std::vector<std::string> waiting = included(by_name().at(name));
    while (!waiting.empty()) {
        const std::string next = std::move(waiting.back());
        waiting.pop_back();
        const auto found = by_name().find(next);
        if (found == by_name().end() || needed.contains(next))
            continue;
        needed.insert(*found);
        for (std::string& more : included(found->second))
            waiting.push_back(std::move(more));
    }
    return needed;
}

/* Each template's own partials, worked out once. */
const std::map<std::string, Partials>& partials_by_name()
{
    static const std::map<std::string, Partials> all = [] {
        std::map<std::string, Partials> out;
        for (const auto& [name, text] : by_name())
            out.emplace(name, needed_by(name));
        return out;
    }();
    return all;
}

} // namespace

std::string render(std::string_view name, const mstch::map& context)
{
    const auto found = by_name().find(std::string(name));
    if (found == by_name().end())
        throw std::out_of_range("no page template named " + std::string(name));
    return mstch::render(found->second, context, partials_by_name().at(found->first));
}

mstch::array texts(const std::vector<std::string>& lines)
{
    mstch::array out;
    out.reserve(lines.size());
    for (const std::string& line : lines)
        out.emplace_back(line);
    return out;
}

} // namespace desk::web
