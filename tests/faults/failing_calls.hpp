/*
 * failing_calls.hpp - file-system calls of the fault tests that fail on
 * request. This executable replaces fsync and rename with versions that
 * pass every call to the C library's own, except the one armed to fail:
 * that call does nothing and fails with the given errno.
 */
#ifndef LENDREC_FAULTS_FAILING_CALLS_HPP
#define LENDREC_FAULTS_FAILING_CALLS_HPP

#include <cstddef>

namespace faults {

enum class Call { fsync, rename };

/* From now on, the nth call of `call` (1 for the next) fails once with
 * `error`; calls are counted from here. */
void fail_call(Call call, std::size_t n, int error);

/* Every call goes through again. */
void restore_calls();

/* Calls of `call` counted since the last fail_call(), and whether the armed
 * one failed. */
std::size_t calls(Call call);
bool call_failed();

} // namespace faults

#endif
