/*
 * strman.cpp - owned copies of record texts.
 */
#include "strman.h"

#include <cstdlib>
#include <cstring>
#include <functional>

/* True when `p` points somewhere into the text held by `buffer`. */
static bool points_into(const char* p, const char* buffer)
{
    if (buffer == nullptr)
        return false;
    std::less_equal<const char*> le;
    return le(buffer, p) && le(p, buffer + std::strlen(buffer));
}

String strman_copy(String* destiny, const char* source)
{
    if (source == nullptr)
        return nullptr;

    const std::size_t size = std::strlen(source) + 1;
    char* fresh;
    if (points_into(source, *destiny)) {
        /* Resizing would move or cut the text we copy from: copy it out
         * first, then let the old buffer go. */
        fresh = static_cast<char*>(std::malloc(size));
        if (fresh == nullptr)
            return nullptr;
        std::memcpy(fresh, source, size);
        std::free(*destiny);
    } else {
        fresh = static_cast<char*>(std::realloc(*destiny, size));
        if (fresh == nullptr)
            return nullptr;
        std::memcpy(fresh, source, size);
    }
    *destiny = fresh;
    return fresh;
}
