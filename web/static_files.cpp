/*
 * static_files.cpp - finding the desk's compiled-in files by name.
 */
#include "static_files.hpp"

namespace web {

const StaticFile* static_file(std::string_view name)
{
    for (const StaticFile& file : detail::embedded_static_files())
        if (file.name == name)
            return &file;
    return nullptr;
}

const char* static_content_type(std::string_view name)
{
    if (name.ends_with(".css"))
        return "text/css; charset=utf-8";
    if (name.ends_with(".js"))
        return "text/javascript; charset=utf-8";
    return "application/octet-stream";
}

} // namespace web
