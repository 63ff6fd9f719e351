/*
 * list.cpp - the generic record list: a ring of nodes, each holding one
 * untyped element pointer. The head's previous node is the tail, and the
 * tail's next is the head; every walk is bounded by `size`, never by a
 * null link.
 */
#include "list.h"

#include <cstdlib>

struct node_t {
    node_t* next;
    node_t* previous;
    void* content;
};

struct list_t {
    node_t* contents; /* the head; null exactly when size is 0 */
    size_t size;
};

/* A node linked to itself: the ring of a one-element list. */
static node_t* node_new_head(void* object)
{
    auto* node = static_cast<node_t*>(std::malloc(sizeof(node_t)));
    if (node == nullptr)
        return nullptr;
    node->next = node;
    node->previous = node;
    node->content = object;
    return node;
}

/* A node linked in between previous_node and next_node. */
static node_t* node_new(void* object, node_t* next_node, node_t* previous_node)
{
    auto* node = static_cast<node_t*>(std::malloc(sizeof(node_t)));
    if (node == nullptr)
        return nullptr;
    node->content = object;
    node->next = next_node;
    node->previous = previous_node;
    next_node->previous = node;
    previous_node->next = node;
    return node;
}

/* Joins the node's neighbours to each other; the node is not released. */
static void node_remove(node_t* node)
{
    node->next->previous = node->previous;
    node->previous->next = node->next;
}

/* Exchanges the elements of two nodes; their links stay as they are. */
static void node_swap(node_t* node01, node_t* node02)
{
    void* content = node01->content;
    node01->content = node02->content;
    node02->content = content;
}

/* The node at position index < size, walking from the nearer end of the
 * ring: at most size / 2 steps. */
static node_t* node_at(const list_t* list, size_t index)
{
    node_t* node = list->contents;
    if (index <= list->size / 2) {
        for (size_t i = 0; i < index; ++i)
            node = node->next;
    } else {
        for (size_t i = list->size; i > index; --i)
            node = node->previous;
    }
    return node;
}

/* Unlinks a node of the list, keeps the head valid, and returns its
 * element after releasing the node. */
static void* list_unlink(list_t* list, node_t* node)
{
    if (list->size == 1) {
        list->contents = nullptr;
    } else {
        if (node == list->contents)
            list->contents = node->next;
        node_remove(node);
    }
    void* content = node->content;
    std::free(node);
    list->size--;
    return content;
}

List list_new(void)
{
    auto* list = static_cast<list_t*>(std::malloc(sizeof(list_t)));
    if (list == nullptr)
        return nullptr;
    list->contents = nullptr;
    list->size = 0;
    return list;
}

void list_delete(List list, ConsumerFunction deleter)
{
    if (list == nullptr || deleter == nullptr)
        return;
    node_t* node = list->contents;
    for (size_t i = 0; i < list->size; ++i) {
        node_t* next = node->next;
        deleter(node->content);
        std::free(node);
        node = next;
    }
    std::free(list);
}

void* list_push_back(List list, void* object)
{
    if (list == nullptr || object == nullptr)
        return nullptr;
    node_t* node = list->contents == nullptr
                       ? node_new_head(object)
                       : node_new(object, list->contents, list->contents->previous);
    if (node == nullptr)
        return nullptr;
    if (list->contents == nullptr)
        list->contents = node;
    list->size++;
    return object;
}

void* list_pop_back(List list)
{
    if (list == nullptr || list->size == 0)
        return nullptr;
    return list_unlink(list, list->contents->previous);
}

void* list_front(List list)
{
    if (list == nullptr || list->size == 0)
        return nullptr;
    return list->contents->content;
}

void* list_back(List list)
{
    if (list == nullptr || list->size == 0)
        return nullptr;
    return list->contents->previous->content;
}

bool list_empty(List list)
{
    return list->size == 0;
}

size_t list_size(List list)
{
    return list->size;
}

void* list_remove(List list, size_t index)
{
    if (list == nullptr || index >= list->size)
        return nullptr;
    return list_unlink(list, node_at(list, index));
}

void* list_get(List list, size_t index)
{
    if (list == nullptr || index >= list->size)
        return nullptr;
    return node_at(list, index)->content;
}

void list_foreach(List list, IterationFunction function, void* args)
{
    if (list == nullptr || function == nullptr)
        return;
    node_t* node = list->contents;
    for (size_t i = 0; i < list->size; ++i) {
        function(node->content, args);
        node = node->next;
    }
}

/* The first node whose element matches `object`, or null. */
static node_t* node_find(List list, CompareFunction function, void* object)
{
    if (list == nullptr || function == nullptr || object == nullptr)
        return nullptr;
    node_t* node = list->contents;
    for (size_t i = 0; i < list->size; ++i) {
        if (function(node->content, object))
            return node;
        node = node->next;
    }
    return nullptr;
}

void* list_search(List list, CompareFunction function, void* object)
{
    node_t* node = node_find(list, function, object);
    return node == nullptr ? nullptr : node->content;
}

bool list_search_remove(List list, CompareFunction function, void* object,
                        ConsumerFunction deleter)
{
    node_t* node = node_find(list, function, object);
    if (node == nullptr)
        return false;
    deleter(list_unlink(list, node));
    return true;
}

/*
 * Bubble sort over the ring with early exit: each pass carries the element
 * that sorts last among the unsorted ones to the end, and a pass without an
 * exchange ends the sort. Used for short lists, where it never costs more
 * than n(n - 1)/2 comparisons while a merge sort could.
 */
static void list_sort_short(list_t* list, CompareFunction function)
{
    const size_t n = list->size;
    for (size_t i = 0; i + 1 < n; ++i) {
        bool swapped = false;
        node_t* node01 = list->contents;
        for (size_t j = 0; j < n - i - 1; ++j) {
            node_t* node02 = node01->next;
            if (function(node01->content, node02->content)) {
                node_swap(node01, node02);
                swapped = true;
            }
            node01 = node01->next;
        }
        if (!swapped)
            break;
    }
}

/* A run of nodes linked both ways, `next` of the tail null. The head's
 * previous link is not kept: it is set when the chain is joined. */
struct chain_t {
    node_t* head;
    node_t* tail;
};

/*
 * Merges two chains, every node of `early` standing before every node of
 * `late` in the list's order. On a tie (the predicate answers false) the
 * earlier element goes first, which keeps the sort stable. Both links of
 * every node are set as it is placed, while it is in the cache anyway.
 */
static chain_t chain_merge(chain_t early, chain_t late, CompareFunction function)
{
    node_t head;
    node_t* tail = &head;
    node_t* a = early.head;
    node_t* b = late.head;
    for (;;) {
        if (function(a->content, b->content)) {
            tail->next = b;
            b->previous = tail;
            tail = b;
            if ((b = b->next) == nullptr) {
                tail->next = a;
                a->previous = tail;
                return {head.next, early.tail};
            }
        } else {
            tail->next = a;
            a->previous = tail;
            tail = a;
            if ((a = a->next) == nullptr) {
                tail->next = b;
                b->previous = tail;
                return {head.next, late.tail};
            }
        }
    }
}

/* Cuts the longest ordered run off the front of *rest and returns it; the
 * ring's previous links already hold inside the run. */
static chain_t chain_take_run(node_t** rest, CompareFunction function)
{
    node_t* first = *rest;
    node_t* last = first;
    while (last->next != nullptr && !function(last->content, last->next->content))
        last = last->next;
    *rest = last->next;
    last->next = nullptr;
    return {first, last};
}

/*
 * Natural merge sort: the list is cut into its ordered runs, which are
 * merged like the digits of a binary counter (bins[i] holds the merge of
 * 2^i runs, and always elements earlier than any run taken after it). The
 * nodes are relinked, so nothing is allocated, and every merge keeps both
 * links, so closing the ring is all that is left at the end. An ordered
 * list is one run: n - 1 comparisons.
 */
static void list_sort_long(list_t* list, CompareFunction function)
{
    chain_t bins[sizeof(size_t) * 8 + 1] = {};
    node_t* rest = list->contents;
    rest->previous->next = nullptr;

    while (rest != nullptr) {
        chain_t carry = chain_take_run(&rest, function);
        size_t i = 0;
        for (; bins[i].head != nullptr; ++i) {
            carry = chain_merge(bins[i], carry, function);
            bins[i] = {};
        }
        bins[i] = carry;
    }
    chain_t sorted = {};
    for (const chain_t& bin : bins)
        if (bin.head != nullptr)
            sorted = sorted.head == nullptr ? bin : chain_merge(bin, sorted, function);

    sorted.tail->next = sorted.head;
    sorted.head->previous = sorted.tail;
    list->contents = sorted.head;
}

/* Below this length the bubble sort is used (see list_sort_short). */
enum { LIST_SHORT_SORT = 16 };

bool list_sort(List list, CompareFunction function)
{
    if (list == nullptr || function == nullptr)
        return false;
    if (list->size < 2)
        return true;
    if (list->size < LIST_SHORT_SORT)
        list_sort_short(list, function);
    else
        list_sort_long(list, function);
    return true;
}
