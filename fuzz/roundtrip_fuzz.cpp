/*
 * roundtrip_fuzz.cpp - any bytes loaded as books, as users and as loans;
 * whatever loads is saved and loaded again, and the second load must equal
 * the first field by field, with the same trailer.
 */
#include "fuzz_support.hpp"

namespace {

void round_trip(const fuzz::Kind& kind, const fuzz::ScratchFile& input, const char* saved)
{
    fuzz::Records first(kind);
    const size_t last_id = kind.record.load(input.path(), first.get());
    FUZZ_CHECK(kind.record.save(saved, first.get(), last_id));

    fuzz::Records second(kind);
    FUZZ_CHECK(kind.record.load(saved, second.get()) == last_id);
    FUZZ_CHECK(first.contents() == second.contents());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const fuzz::ScratchFile input("roundtrip-in");
    /* Replaced by every save; kept open only to be removed at the end. */
    static const fuzz::ScratchFile saved("roundtrip-out");
    input.write(data, size);
    for (const fuzz::Kind* kind : {&fuzz::books(), &fuzz::users(), &fuzz::loans()})
        round_trip(*kind, input, saved.path());
    return 0;
}
