/*
 * render.cpp - filling the compiled-in templates.
 */
#include "render.hpp"

#include <map>
#include <stdexcept>

namespace desk::web {
namespace {

/* Every template by name, built once: mstch takes partials as a map. */
const std::map<std::string, std::string>& by_name()
{
    static const std::map<std::string, std::string> all = [] {
        std::map<std::string, std::string> out;
        for (const EmbeddedTemplate& one : detail::embedded_templates())
            out.emplace(std::string(one.name), std::string(one.text));
        return out;
    }();
    return all;
}

} // namespace

std::string render(std::string_view name, const mstch::map& context)
{
    const auto& all = by_name();
    const auto found = all.find(std::string(name));
    if (found == all.end())
        throw std::out_of_range("no page template named " + std::string(name));
    return mstch::render(found->second, context, all);
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
