/*
 * record_format.hpp - what the record-file writer and parser share: the
 * size of their blocks, the platform's line end, byte sets for scanning
 * text, and the fields of one record line.
 */
#ifndef LENDREC_SOURCE_RECORD_FORMAT_HPP
#define LENDREC_SOURCE_RECORD_FORMAT_HPP

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace lendrec {

/* The writer's buffer, and the largest read block. */
inline constexpr size_t kBlockSize = size_t{1} << 20;

/* Record lines end as a text-mode stream would end them. */
#ifdef _WIN32
inline constexpr std::string_view kLineEnd = "\r\n";
#else
inline constexpr std::string_view kLineEnd = "\n";
#endif

/* A set of bytes, for scanning text one byte at a time. */
using StopTable = std::array<bool, 256>;

constexpr StopTable stop_table(std::string_view stops)
{
    StopTable table{};
    for (char c : stops)
        table[static_cast<unsigned char>(c)] = true;
    return table;
}

/* The fields of one record line. Every view is followed by a NUL in the
 * parser's own storage, so data() is also a C string. */
using Fields = std::span<const std::string_view>;

} // namespace lendrec

#endif /* LENDREC_SOURCE_RECORD_FORMAT_HPP */
