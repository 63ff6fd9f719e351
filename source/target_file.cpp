/*
 * target_file.cpp - the part of the save target that is the same on every
 * platform: names for temporaries.
 */
#include "target_file.hpp"

namespace lendrec {

std::string temp_suffix(unsigned long long seed, unsigned attempt)
{
    unsigned long long x = seed ^ (0x9e3779b97f4a7c15ULL * (attempt + 1u));
    x ^= x >> 31;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 29;
    std::string out = ".";
    for (int i = 0; i < 8; ++i, x >>= 4)
        out.push_back("0123456789abcdef"[x & 15u]);
    return out;
}

} // namespace lendrec
