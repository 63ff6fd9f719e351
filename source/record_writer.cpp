/*
 * record_writer.cpp - record lines formatted into the save buffer, and the
 * save of a whole list through a temporary target file.
 */
#include "record_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>

namespace lendrec {
namespace {

/* The bytes that make a text go out quoted, and its terminator. */
constexpr StopTable kQuoteStops = stop_table(std::string_view(",\"\r\n\0", 5));

} // namespace

void Writer::field(size_t value)
{
    char digits[std::numeric_limits<size_t>::digits10 + 1]; /* always room */
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    put(std::string_view(digits, static_cast<size_t>(end - digits)));
}

void Writer::field(const char* text)
{
    if (text == nullptr)
        return;
    /* One pass up to the terminator, or to the first byte that calls for
     * quotes. */
    const char* p = text;
    while (!kQuoteStops[static_cast<unsigned char>(*p)])
        ++p;
    if (*p == '\0') {
        put(std::string_view(text, static_cast<size_t>(p - text)));
        return;
    }
    std::string_view rest = text;
    put('"');
    for (;;) {
        size_t cut = rest.find('"');
        put(rest.substr(0, cut));
        if (cut == std::string_view::npos)
            break;
        put(std::string_view("\"\""));
        rest.remove_prefix(cut + 1);
    }
    put('"');
}

void Writer::put(char c)
{
    if (used_ == kBlockSize && !flush())
        return;
    buffer_[used_++] = c;
}

void Writer::put(std::string_view text)
{
    while (!text.empty()) {
        if (used_ == kBlockSize && !flush())
            return;
        size_t n = std::min(text.size(), kBlockSize - used_);
        std::memcpy(buffer_ + used_, text.data(), n);
        used_ += n;
        text.remove_prefix(n);
    }
}

bool Writer::flush()
{
    if (ok_ && used_ > 0)
        ok_ = out_.write(buffer_, used_);
    used_ = 0;
    return ok_;
}

bool save_records(const char* file, List list, IterationFunction saver, size_t last_id)
{
    if (file == nullptr || list == nullptr || saver == nullptr)
        return false;
    try {
        std::unique_ptr<char[]> buffer(new char[kBlockSize]);
        TargetFile out;
        if (!out.open(file))
            return false;
        Writer writer(out, buffer.get());
        list_foreach(list, saver, &writer);
        writer.trailer(last_id);
        return writer.finish() && out.commit();
    } catch (...) {
        return false; /* out of memory: the target file is left alone */
    }
}

} // namespace lendrec
