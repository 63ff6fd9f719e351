/*
 * counting_allocator.hpp - the heap of the allocation-failure tests. This
 * executable replaces malloc, calloc, realloc, free, the aligned
 * allocations and operator new/delete with versions that count every
 * allocation request made while armed and fail the Nth (fail once) or the
 * Nth and every later one (fail forever). They also count live blocks, so
 * a leak shows as a live count that does not return to where it was.
 */
#ifndef LENDREC_FAULTS_COUNTING_ALLOCATOR_HPP
#define LENDREC_FAULTS_COUNTING_ALLOCATOR_HPP

#include <cstddef>

namespace faults {

enum class Mode { once, forever };

/* From now on, the nth allocation request (1 for the next) fails, and in
 * forever mode every one after it as well. */
void arm(std::size_t n, Mode mode);

/* Every request succeeds again. */
void disarm();

/* Requests counted, and whether one was failed, since the last arm(). */
std::size_t requests();
bool fired();

/* Blocks allocated and not yet released, over the whole process. */
long live_blocks();

} // namespace faults

#endif
