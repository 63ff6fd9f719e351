/*
 * strman.cpp - owned copies of record texts, and the two ways a record
 * keeps a text: an owned heap copy, or a bounded copy in its own array.
 */
#include "strman.h"

#include "record_rules.hpp"

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

namespace lendrec::rules {

bool set_owned_text(String* field, const char* text)
{
    return text_ok(text) && strman_copy(field, text) != nullptr;
}

bool copy_bounded(char* target, size_t capacity, const char* text)
{
    size_t length = 0;
    while (length < capacity && text[length] != '\0')
        length++;
    if (length == capacity)
        return false;
    std::memmove(target, text, length + 1); /* text may be the target's own */
    return true;
}

} // namespace lendrec::rules
