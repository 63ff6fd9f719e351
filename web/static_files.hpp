/*
 * static_files.hpp - the desk's stylesheet and script (web/static/),
 * compiled into the program and served from memory under /static/.
 */
#ifndef LENDREC_WEB_STATIC_FILES_HPP
#define LENDREC_WEB_STATIC_FILES_HPP

#include <string_view>
#include <vector>

namespace web {

/* A file compiled into the program: its name ("desk.css") and bytes. */
struct StaticFile {
    std::string_view name, text;
};

namespace detail {
/* Every file of web/static/, in the order of their names (generated at
 * build time). */
const std::vector<StaticFile>& embedded_static_files();
} // namespace detail

/* The file served as /static/`name`; null when there is none. The file
 * lives as long as the program. */
const StaticFile* static_file(std::string_view name);

/* The Content-Type of a file by its extension: text/css, text/javascript
 * (both UTF-8), else application/octet-stream. */
const char* static_content_type(std::string_view name);

} // namespace web

#endif
