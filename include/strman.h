/*
 * strman.h - owned copies of record texts.
 */
#ifndef LENDREC_STRMAN_H
#define LENDREC_STRMAN_H

#include "common.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Makes *destiny an owned heap copy of `source`: the buffer *destiny holds
 * (null for none) is resized to strlen(source) + 1 bytes, possibly moving,
 * and the text is copied with its terminator. `source` may point into the
 * buffer *destiny holds. Returns the new *destiny, which the caller owns and
 * releases with free().
 *
 * A null `source` returns null and leaves *destiny untouched; so does an
 * allocation failure, after which *destiny still holds its old text.
 * `destiny` itself must not be null.
 */
LENDREC_API String strman_copy(String* destiny, const char* source);

#ifdef __cplusplus
}
#endif

#endif /* LENDREC_STRMAN_H */
