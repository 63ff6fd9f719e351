/*
 * load_fuzz.cpp - any bytes as a record file of one kind (LENDREC_FUZZ_KIND:
 * books, users or loans). Loading must not crash, every record it yields
 * must hold its kind's invariants, and loading the same file again must
 * yield the same records and trailer: nothing carries over between loads.
 */
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const fuzz::ScratchFile file(LENDREC_FUZZ_KIND_NAME);
    const fuzz::Kind& kind = fuzz::LENDREC_FUZZ_KIND();
    file.write(data, size);

    fuzz::Records first(kind);
    const size_t first_id = kind.load(file.path(), first.get());

    fuzz::Records second(kind);
    FUZZ_CHECK(kind.load(file.path(), second.get()) == first_id);
    FUZZ_CHECK(first.contents() == second.contents());
    return 0;
}
