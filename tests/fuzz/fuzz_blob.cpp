// Fuzz target: a blob as the solver receives it. Morvex_DeserializeModule on
// the whole input; on success the module goes through the getters, the
// serialization round trip, preparation and queries on contact states drawn
// from the input's last bytes (a blob ignores bytes after its last item).
//
// Guards against: crashes, leaks and out-of-bounds reads on malformed blobs;
// a failed read that writes the caller's handle; modules that do not
// serialize back to the bytes they were read from; queries that crash, hang or
// answer differently to the same question on hostile contact states.

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT32_MAX) return 0;
    MorvexModule* module = mxfuzz::untouchedHandle();
    if (!Morvex_DeserializeModule(data, static_cast<int32_t>(size), &module)) {
        if (module != mxfuzz::untouchedHandle()) mxfuzz::fail("failed read wrote the handle");
        return 0;
    }
    mxfuzz::exerciseModule(module, data, size);
    Morvex_FreeModule(module);
    return 0;
}
