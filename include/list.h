/*
 * list.h - the generic record list: an ordered ring of untyped element
 * pointers, driven by caller callbacks.
 *
 * The list owns its nodes, never its elements. An element leaves the list
 * either handed back to the caller (list_remove, list_pop_back) or released
 * through a deleter the caller passes (list_delete, list_search_remove).
 * Callbacks must not change the list that calls them; they may read it. A
 * refused call changes nothing.
 */
#ifndef LENDREC_LIST_H
#define LENDREC_LIST_H

#include "common.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct list_t* List;

/* A new empty list, owned by the caller (release with list_delete); null
 * when memory runs out. */
LENDREC_API List list_new(void);

/*
 * Calls deleter on every element, head first, then releases the nodes and
 * the list itself. Pass a deleter that does nothing to keep the elements
 * alive. A null list or null deleter: nothing happens at all.
 */
LENDREC_API void list_delete(List list, ConsumerFunction deleter);

/*
 * Appends `object` at the tail; the list holds it on the caller's behalf.
 * Returns `object`, or null (nothing changed) for a null list, a null object
 * or when memory runs out.
 */
LENDREC_API void* list_push_back(List list, void* object);

/* Removes the tail and hands its element back to the caller; null for a
 * null or empty list. */
LENDREC_API void* list_pop_back(List list);

/* The head element, borrowed; null for a null or empty list. */
LENDREC_API void* list_front(List list);

/* The tail element, borrowed; null for a null or empty list. */
LENDREC_API void* list_back(List list);

/* True when the list holds no element. `list` must not be null. */
LENDREC_API bool list_empty(List list);

/* The number of elements. `list` must not be null. */
LENDREC_API size_t list_size(List list);

/*
 * Removes the element at position `index` (0 is the head) and hands it back
 * to the caller. Null, nothing changed, for a null list or index >= size.
 */
LENDREC_API void* list_remove(List list, size_t index);

/* The element at position `index`, borrowed; null for a null list or
 * index >= size. */
LENDREC_API void* list_get(List list, size_t index);

/* Calls function(element, args) on every element from the head forwards.
 * A null list or null function: nothing happens. */
LENDREC_API void list_foreach(List list, IterationFunction function, void* args);

/*
 * The first element, from the head, for which function(element, object) is
 * true, borrowed; null when none matches. A null list, function or object
 * gives null without calling the function.
 */
LENDREC_API void* list_search(List list, CompareFunction function, void* object);

/*
 * Like list_search, but the first match is unlinked and released with
 * deleter(element); returns true. No match, or a null list, function or
 * object: false, nothing changed. `deleter` must not be null.
 */
LENDREC_API bool list_search_remove(List list, CompareFunction function, void* object,
                                    ConsumerFunction deleter);

/*
 * Sorts in place. function(earlier, later) is always called with two
 * neighbours in the current order and answers true when they are out of
 * order. A predicate that answers false for equal keys gives a stable sort;
 * a list already in order costs n - 1 comparisons. Allocates nothing.
 * While it runs, the predicate may read the list (list_size, list_get,
 * list_front, list_back, list_foreach, list_search): every element is
 * there, in whatever order the sort has reached.
 * Returns false for a null list or function, true otherwise.
 */
LENDREC_API bool list_sort(List list, CompareFunction function);

#ifdef __cplusplus
}
#endif

#endif /* LENDREC_LIST_H */
