/*
 * record_sets.hpp - a fixed set of records of one kind with its trailer,
 * packaged so that one loop can save it or check a file against it
 * whatever the kind.
 */
#ifndef LENDREC_TESTS_RECORD_SETS_HPP
#define LENDREC_TESTS_RECORD_SETS_HPP

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "record_files.hpp"

namespace lendrec_test {

struct RecordSet {
    const char* kind;
    /* Saves the set to path with its trailer. */
    std::function<bool(const std::string& path)> save;
    /* Loading path gives exactly the set, in order, and its trailer. */
    std::function<::testing::AssertionResult(const std::string& path)> loads;
};

template <typename Kind>
RecordSet record_set(const char* kind, std::vector<typename Kind::Row> rows, size_t last_id)
{
    return {
        kind,
        [rows, last_id](const std::string& path) { return save_file<Kind>(path, rows, last_id); },
        [rows, last_id](const std::string& path) -> ::testing::AssertionResult {
            const Loaded<Kind> want{rows, last_id};
            const Loaded<Kind> got = load_file<Kind>(path);
            if (got == want)
                return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure()
                   << path << " loads " << ::testing::PrintToString(got) << "\n  instead of "
                   << ::testing::PrintToString(want);
        }};
}

} // namespace lendrec_test

#endif
