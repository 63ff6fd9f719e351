/*
 * words.hpp - text looked at eight bytes at a time: the bytes of a word
 * that equal a given byte, marked by their top bits, and where the first
 * of them lies. For the readers that pass over long runs of ordinary
 * bytes (spreadsheets, the history, the text rules).
 */
#ifndef LENDREC_ENGINE_WORDS_HPP
#define LENDREC_ENGINE_WORDS_HPP

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace desk::words {

/* A word with every one of its eight bytes 1, and with their top bits. */
inline constexpr std::uint64_t kEachByte = 0x0101010101010101u;
inline constexpr std::uint64_t kTopBits = kEachByte * 0x80;

/* The eight bytes at `p` as one word. */
inline std::uint64_t load8(const char* p)
{
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    return word;
}

/* The bytes of `word` that are zero, each marked by its top bit, and no
 * other: no sum carries out of its byte, none exceeding 0x7F + 0x7F. */
inline std::uint64_t zero_bytes(std::uint64_t word)
{
    return ~(((word & ~kTopBits) + ~kTopBits) | word) & kTopBits;
}

/* The bytes of `word` that are `byte`, marked. */
inline std::uint64_t bytes_equal(std::uint64_t word, char byte)
{
    return zero_bytes(word ^ kEachByte * static_cast<unsigned char>(byte));
}

/* Where in memory order the first byte marked in `marks` (not 0) lies. */
inline std::size_t first_marked(std::uint64_t marks)
{
    const int bit = std::endian::native == std::endian::little ? std::countr_zero(marks)
                                                               : std::countl_zero(marks);
    return static_cast<std::size_t>(bit) / 8;
}

/* `marks` less those of its first `skip` bytes in memory order (`skip`
 * below 8). */
inline std::uint64_t marks_after(std::uint64_t marks, std::size_t skip)
{
    const std::uint64_t all = ~std::uint64_t{0};
    return marks &
           (std::endian::native == std::endian::little ? all << (skip * 8) : all >> (skip * 8));
}

} // namespace desk::words

#endif
