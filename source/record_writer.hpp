/*
 * record_writer.hpp - formatting record lines into one large buffer that
 * goes to the save target in big chunks, and the save of a whole list.
 *
 * Numbers are plain decimal (std::to_chars, full size_t width). A text
 * holding a comma, a double quote, a CR or an LF is enclosed in double
 * quotes with inner quotes doubled; other texts go as they are. Each line
 * ends in the platform's line end; inside quotes every byte of the text
 * goes as it is, so a text holding line breaks reads back the same on every
 * platform, whichever wrote it.
 */
#ifndef LENDREC_SOURCE_RECORD_WRITER_HPP
#define LENDREC_SOURCE_RECORD_WRITER_HPP

#include <cstddef>
#include <string_view>

#include "list.h"
#include "record_format.hpp"
#include "target_file.hpp"

namespace lendrec {

/* Formats record lines into `buffer` (kBlockSize bytes, the caller's) and
 * hands it to the target whenever it fills. The first failed write
 * latches: nothing more is written and finish() reports false. Nothing here
 * allocates, so no exception can leave a saver while the list walks it. */
class Writer {
public:
    Writer(TargetFile& out, char* buffer) : out_(out), buffer_(buffer) {}

    /* One record line: the fields separated by commas, then the line end.
     * Each field is a size_t or a C string (a null one writes nothing). */
    template <typename... Fields>
    void line(const Fields&... fields)
    {
        bool first = true;
        ((first ? void(first = false) : put(','), field(fields)), ...);
        put(kLineEnd);
    }

    /* The trailer: the next identifier, with no line end. */
    void trailer(size_t last_id) { field(last_id); }

    /* Writes what is buffered; false when any write failed. */
    bool finish() { return flush() && ok_; }

private:
    void field(size_t value);
    void field(const char* text);
    void put(char c);
    void put(std::string_view text);
    bool flush();

    TargetFile& out_;
    char* buffer_;
    size_t used_ = 0;
    bool ok_ = true;
};

/*
 * Saves every record of `list` through `saver` (called as saver(record,
 * Writer*)), then `last_id` as the trailer, replacing `file` only once the
 * whole content is on disk. False for a null argument, a target that may
 * not be written, any write error, or memory running out; the previous file
 * then stays as it was.
 */
bool save_records(const char* file, List list, IterationFunction saver, size_t last_id);

} // namespace lendrec

#endif /* LENDREC_SOURCE_RECORD_WRITER_HPP */
