// Fuzz target: the record dispatch with each of the three record kinds. The
// first input byte picks the kind (mostly 1 Sheet, 2 Lubricant, 3 module
// record, sometimes an unknown one); the rest is the record stream, as a
// decrypted data-file chunk hands it over. A record that dispatches becomes a
// module that must survive everything a blob's module does.
//
// Guards against: crashes, leaks and out-of-bounds reads in the three record
// parsers, module assembly and finalization; an unknown kind that touches the
// slot; modules assembled from records that do not serialize back stably.

#include "fuzz_support.h"
#include "io/dispatch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size - 1 > INT32_MAX) return 0;
    const uint8_t selector = data[0];
    // Unknown kinds include ones whose low byte is a known kind.
    static const int16_t kUnknown[16] = {0,   4,      7,      -1,   -3,   257, 258, 259,
                                         513, 0x7FFF, -32768, -253, 0xFF, 16,  99,  -2};
    const int16_t kind =
        selector >= 0xF0 ? kUnknown[selector & 0x0F] : static_cast<int16_t>(selector % 3 + 1);
    const uint8_t* record = data + 1;
    const int32_t length = static_cast<int32_t>(size - 1);

    mx::ModulePtr slot;
    if (!mx::DispatchRecord(kind, record, length, slot)) {
        if ((kind < 1 || kind > 3) && slot) mxfuzz::fail("an unknown kind touched the slot");
        return 0;  // the slot releases whatever a failed handler left
    }
    if (!slot) mxfuzz::fail("dispatch succeeded without a module");
    mxfuzz::exerciseModule(slot.get(), record, static_cast<size_t>(length));
    return 0;
}
