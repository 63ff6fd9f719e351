/*
 * list.cpp - the generic record list: a ring of nodes, each holding one
 * untyped element pointer. The head's previous node is the tail, and the
 * tail's next is the head; every walk is bounded by `size`, never by a
 * null link.
 *
 * While a long list is being sorted the `previous` links serve the sort
 * and `sort_tail` holds the tail; the `next` links keep the ring closed in
 * its old order, so a predicate that only reads the list (list_get,
 * list_back, list_foreach, ...) still finds every element.
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
    node_t* sort_tail; /* the tail while a long sort runs, else null */
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

/* The tail node of a non-empty list, also while a sort runs. */
static node_t* node_tail(const list_t* list)
{
    return list->sort_tail != nullptr ? list->sort_tail : list->contents->previous;
}

/* The node at position index < size, walking from the nearer end of the
 * ring: at most size / 2 steps (forwards only while a sort runs). */
static node_t* node_at(const list_t* list, size_t index)
{
    node_t* node = list->contents;
    if (index <= list->size / 2 || list->sort_tail != nullptr) {
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
    list->sort_tail = nullptr;
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
    return node_tail(list)->content;
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

bool list_search_remove(List list, CompareFunction function, void* object, ConsumerFunction deleter)
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

/*
 * A run of nodes chained through their `previous` links, head to tail, the
 * tail's link null. The `next` links are left to the ring until the sort
 * ends.
 */
struct chain_t {
    node_t* head;
    node_t* tail;
};

/* How many stretches of the sorted chain are relinked side by side when the
 * sort ends: independent walks, so that their cache misses overlap. */
enum { LIST_RELINK_STRETCHES = 8 };

/* Where the stretches start: every `every`-th node a merge places. */
struct marks_t {
    node_t* start[LIST_RELINK_STRETCHES];
    size_t count;
    size_t every;
    size_t countdown;
};

static void marks_note(marks_t* marks, node_t* node)
{
    if (--marks->countdown != 0)
        return;
    marks->countdown = marks->every;
    if (marks->count < LIST_RELINK_STRETCHES)
        marks->start[marks->count++] = node;
}

/*
 * Merges two chains, every node of `early` standing before every node of
 * `late` in the list's order. On a tie (the predicate answers false) the
 * earlier element goes first, which keeps the sort stable. When `marks` is
 * not null, the stretch starts among the placed nodes are noted there.
 */
static chain_t chain_merge(chain_t early, chain_t late, CompareFunction function, marks_t* marks)
{
    node_t head;
    node_t* tail = &head;
    node_t* a = early.head;
    node_t* b = late.head;
    do {
        node_t* placed;
        if (function(a->content, b->content)) {
            placed = b;
            b = b->previous;
        } else {
            placed = a;
            a = a->previous;
        }
        tail = tail->previous = placed;
        if (marks != nullptr)
            marks_note(marks, placed);
    } while (a != nullptr && b != nullptr);
    tail->previous = a != nullptr ? a : b;
    return {head.previous, a != nullptr ? early.tail : late.tail};
}

/* The length of the ordered run at `first`, at most `left` nodes along the
 * ring. */
static size_t run_length(node_t* first, size_t left, CompareFunction function)
{
    size_t length = 1;
    for (node_t* node = first; length < left && !function(node->content, node->next->content);
         node = node->next)
        ++length;
    return length;
}

/* Chains the `length` nodes from *rest on, along the ring, and moves *rest
 * past them. */
static chain_t chain_of_run(node_t** rest, size_t length)
{
    node_t* last = *rest;
    chain_t run{last, last};
    for (size_t i = 1; i < length; ++i)
        last = last->previous = last->next;
    last->previous = nullptr;
    *rest = last->next;
    run.tail = last;
    return run;
}

/*
 * Rebuilds the ring in the order of a sorted chain, both links of every
 * node, its head becoming the list's head. The marked stretches are walked
 * side by side; without marks the chain is one stretch.
 */
static void ring_from_chain(list_t* list, chain_t sorted, const marks_t& marks)
{
    node_t* at[LIST_RELINK_STRETCHES] = {sorted.head};
    node_t* before[LIST_RELINK_STRETCHES] = {};
    const size_t count = marks.count != 0 && marks.start[0] == sorted.head ? marks.count : 1;
    for (size_t j = 1; j < count; ++j)
        at[j] = marks.start[j];
    for (bool moving = true; moving;) {
        moving = false;
        for (size_t j = 0; j < count; ++j) {
            node_t* node = at[j];
            if (node == nullptr || (j + 1 < count && node == marks.start[j + 1]))
                continue;
            moving = true;
            node_t* after = node->previous;
            node->previous = before[j];
            node->next = after != nullptr ? after : sorted.head;
            before[j] = node;
            at[j] = after;
        }
    }
    sorted.head->previous = sorted.tail;
    for (size_t j = 1; j < count; ++j)
        marks.start[j]->previous = before[j - 1];
    list->contents = sorted.head;
}

/*
 * Natural merge sort: the list is cut into its ordered runs, which are
 * merged like the digits of a binary counter (bins[i] holds the merge of
 * 2^i runs, and always elements earlier than any run taken after it). The
 * nodes are relinked, so nothing is allocated. Only the `previous` links
 * change while the predicate runs; the ring is rebuilt once at the end.
 * A list already in order is one run: n - 1 comparisons, nothing written.
 */
static void list_sort_long(list_t* list, CompareFunction function)
{
    node_t* rest = list->contents;
    size_t left = list->size;
    size_t length = run_length(rest, left, function);
    if (length == left)
        return;
    list->sort_tail = rest->previous;

    chain_t bins[sizeof(size_t) * 8 + 1] = {};
    for (;;) {
        chain_t carry = chain_of_run(&rest, length);
        size_t i = 0;
        for (; bins[i].head != nullptr; ++i) {
            carry = chain_merge(bins[i], carry, function, nullptr);
            bins[i] = {};
        }
        bins[i] = carry;
        if ((left -= length) == 0)
            break;
        length = run_length(rest, left, function);
    }
    marks_t marks{};
    chain_t sorted = {};
    for (const chain_t& bin : bins) {
        if (bin.head == nullptr)
            continue;
        marks = {{}, 0, list->size / LIST_RELINK_STRETCHES + 1, 1};
        sorted = sorted.head == nullptr ? bin : chain_merge(bin, sorted, function, &marks);
    }
    list->sort_tail = nullptr;
    ring_from_chain(list, sorted, marks);
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
