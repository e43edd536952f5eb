#include "fuzz_support.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "io/data_file.h"
#include "io/data_file_writer.h"
#include "io/dispatch.h"
#include "model/module.h"
#include "support/query_sweep.h"

namespace mxfuzz {

namespace {

// A quiet NaN with a payload no computation produces: the value an
// out-parameter holds before a call.
const double sentinel = std::bit_cast<double>(uint64_t{0x7FF8DEADBEEF0001});

// Two runs of the same calls must agree bit for bit (no uninitialized or
// shared state); every result is 0 or 1; a failed call leaves its
// out-parameters as they were; an availability check succeeds with 0 or 1.
void checkAnswers(const std::vector<mx::test::Answer>& first,
                  const std::vector<mx::test::Answer>& second) {
    for (size_t i = 0; i < first.size(); ++i) {
        const mx::test::Answer& a = first[i];
        const bool untouched = a.after[0] == a.before[0] && a.after[1] == a.before[1];
        const bool zeroOrOne = a.after[0] == std::bit_cast<uint64_t>(0.0) ||
                               a.after[0] == std::bit_cast<uint64_t>(1.0);
        const char* fault = !(a == second[i])             ? "gave two answers to one question"
                            : a.result > 1                ? "returned neither 0 nor 1"
                            : a.result == 0 && !untouched ? "failed but wrote its out-parameter"
                            : a.isFlag && (a.result != 1 || !zeroOrOne) ? "is not 0 or 1"
                                                                        : nullptr;
        if (fault != nullptr) {
            char message[160];
            std::snprintf(message, sizeof message, "%s %s", a.query, fault);
            fail(message);
        }
    }
}

void checkTerminated(const uint16_t* s, const char* what) {
    for (int i = 0; s != nullptr && i <= 1000; ++i)
        if (s[i] == 0) return;
    fail(what);
}

// Values a contact-state field is drawn from: the module's own nodes and
// range ends (where brackets collapse and fractions hit 0 or 1), their
// midpoints, and values that break naive arithmetic.
using Palette = std::vector<double>;

Palette range(double lo, double hi) {
    return {lo, hi, lo + (hi - lo) / 2, std::nextafter(lo, -INFINITY),
            std::nextafter(hi, INFINITY)};
}

// The first eight nodes, each followed by the point a third of the way to
// the next, then `nominal` when there is one.
Palette axis(const std::vector<double>& nodes, const double* nominal = nullptr) {
    Palette p;
    for (size_t i = 0; i < nodes.size() && i < 8; ++i) {
        p.push_back(nodes[i]);
        if (i + 1 < nodes.size()) p.push_back(nodes[i] + (nodes[i + 1] - nodes[i]) / 3);
    }
    if (nominal != nullptr) p.push_back(*nominal);
    return p;
}

const double kAwkward[] = {
    NAN,     -NAN,         INFINITY, -INFINITY, 0.0, -0.0,  DBL_MAX, -DBL_MAX,
    DBL_MIN, DBL_TRUE_MIN, 1.0,      -1.0,      0.5, 1e300, -1e300,  9.2233720368547758e18};

double choose(FuzzedDataProvider& choices, const Palette& palette) {
    const uint8_t selector = choices.ConsumeIntegral<uint8_t>();
    if (selector < 64) return kAwkward[selector % std::size(kAwkward)];
    if (selector < 192 && !palette.empty()) return palette[selector % palette.size()];
    return std::bit_cast<double>(choices.ConsumeIntegral<uint64_t>());
}

uint32_t choosePackageId(FuzzedDataProvider& choices) {
    const uint8_t selector = choices.ConsumeIntegral<uint8_t>();
    if (selector < 13) return selector;
    if (selector < 16) return 0xFFFFFFFFu - selector;
    return selector % 12;
}

void queryOnce(const MorvexModule* m, FuzzedDataProvider& choices) {
    const Palette temperature = range(m->temperatureMin, m->temperatureMax);
    const Palette plain = {0.0, 1.0, 0.25};
    MorvexInputRecord in;
    const double sheetT = choose(choices, temperature);
    const double toolT = choices.ConsumeBool() ? sheetT : choose(choices, temperature);
    Morvex_SetNodalInput(&in, choose(choices, range(m->pressureMin, m->pressureMax)),
                         choose(choices, range(m->strainMin, m->strainMax)), sheetT, toolT,
                         choose(choices, range(m->velocityMin, m->velocityMax)),
                         choose(choices, plain), choose(choices, axis(m->stateAxis)));
    const uint32_t useDirection = choices.ConsumeBool() ? 1u : choices.ConsumeIntegral<uint32_t>();
    const uint32_t temperatureMode = choices.ConsumeIntegral<uint8_t>() % 3;
    Morvex_SetSystemInput(
        &in, useDirection,
        choose(choices, axis(m->sheetRoughnessValues, &m->nominalSheetRoughness)),
        choose(choices, axis(m->lubricationAmountValues, &m->nominalLubricationAmount)),
        choose(choices, axis(m->toolRoughnessValues, &m->nominalToolRoughness)), temperatureMode);

    mx::test::QueryArguments args;
    args.packageId = choosePackageId(choices);
    for (double* v :
         {&args.bound, &args.previous, &args.accumulated, &args.firstLimit, &args.secondLimit})
        *v = choose(choices, plain);
    args.start = sentinel;
    checkAnswers(mx::test::answerEverything(m, in, args), mx::test::answerEverything(m, in, args));
}

// Every getter that cannot fail succeeds; each string handed out ends
// within 1001 units.
void readEveryProperty(const MorvexModule* m) {
    double value;
    uint32_t status;
    for (auto get : {Morvex_GetNominalSheetRoughness, Morvex_GetNominalLubricationAmount,
                     Morvex_GetNominalToolRoughness})
        if (!get(m, &value)) fail("a nominal value getter failed");
    for (auto get : {Morvex_GetStrainRougheningStatus, Morvex_GetStaticFrictionStatus,
                     Morvex_GetToolWearStatus, Morvex_GetDirectionDependencyStatus,
                     Morvex_GetHeatTransferCoefficientStatus, Morvex_GetIsToolTempEqual})
        if (!get(m, &status)) fail("a status getter failed");
    const uint16_t* solverId = nullptr;
    if (!Morvex_GetSolverID(m, &solverId)) fail("solver id getter failed");
    checkTerminated(solverId, "solver id not terminated");
    for (auto get : {Morvex_GetWorkpieceProperties, Morvex_GetLubricantProperties,
                     Morvex_GetToolingProperties}) {
        const MorvexProperty* properties = nullptr;
        uint32_t count = 0;
        if (get(m, &properties, &count) != 1) fail("property getter failed");
        if (count != 0 && properties == nullptr) fail("property list without an array");
        for (uint32_t i = 0; i < count; ++i) {
            checkTerminated(properties[i].key, "property key not terminated");
            checkTerminated(properties[i].value, "property value not terminated");
        }
    }
}

// Serializes through the exports.
std::vector<uint8_t> blobOf(const MorvexModule* m) {
    uint8_t* blob = nullptr;
    uint64_t length = 0;
    if (!Morvex_SerializeModule(m, &blob, &length)) fail("serialization failed");
    if (length > INT32_MAX) fail("blob longer than a stream may be");
    std::vector<uint8_t> out(blob, blob + length);
    Morvex_FreeBlob(&blob);
    return out;
}

// Serialize, read back, serialize again: the second blob must equal the first.
// A module whose head is the version block of a module record is read back
// the host's way, through Morvex_DeserializeModule; one whose head says
// otherwise (possible for a data file's kind-3 chunk, whose name and kind are
// carried unchecked) can only be read as a module record directly.
void checkRoundTrip(const MorvexModule* module) {
    const std::vector<uint8_t> first = blobOf(module);
    const auto size = static_cast<int32_t>(first.size());
    MorvexModule* reread = untouchedHandle();
    mx::ModulePtr slot;
    if (module->name == mx::kVersionBlockName && module->formatVersion == mx::kModuleRecord) {
        if (!Morvex_DeserializeModule(first.data(), size, &reread))
            fail("a serialized module does not read back");
    } else if (mx::DispatchRecord(mx::kModuleRecord, first.data(), size, slot)) {
        reread = slot.release();
    } else {
        fail("a serialized module does not read back as a module record");
    }
    if (blobOf(reread) != first) fail("serialize, read back, serialize gave different bytes");
    Morvex_FreeModule(reread);
}

// Multiquadric terms a preparation of the module would compute. Preparation is
// skipped above a budget so that each run stays short; the hostile size tests
// cover large grids.
double preparationCost(const MorvexModule* m) {
    double terms = 0;
    for (const auto* entries : {&m->primaryEntries, &m->secondaryEntries}) {
        for (const mx::TableEntry& e : *entries) {
            for (size_t i = 0; i < e.packageData.size(); ++i) {
                const mx::PackageData& pd = e.packageData[i];
                if (pd.gridPointCount == 0 || i == 2 || i == 4) continue;
                const double n = static_cast<double>(pd.gridPointCount);
                const double centres = std::max<double>(1.0, pd.weights.size());
                terms += n * n * n * n * centres;
            }
            // Curve limiting evaluates package 6 once per sample.
            if (!e.curves.empty()) terms += 100.0 * e.curves.front().numerators.size();
        }
    }
    return terms;
}

}  // namespace

MorvexModule* untouchedHandle() {
    static MorvexModule* const handle = reinterpret_cast<MorvexModule*>(uintptr_t{0xDEAD0});
    return handle;
}

void fail(const char* what) {
    std::fprintf(stderr, "mxfuzz: %s\n", what);
    std::abort();
}

void exerciseModule(MorvexModule* module, const uint8_t* data, size_t size) {
    readEveryProperty(module);
    checkRoundTrip(module);
    FuzzedDataProvider choices(data, size);
    // Unprepared: grid-based queries fail cleanly, averages answer.
    for (int q = 0; q < 2; ++q)
        queryOnce(module, choices);
    if (preparationCost(module) > 4e6) return;
    MorvexModule* handle = module;
    Morvex_PrepareSolverData(&handle);
    if (handle != module) fail("preparation replaced the handle");
    for (int q = 0; q < 4; ++q)
        queryOnce(module, choices);
    // Preparation limits heat-transfer curves in place; the limited module
    // must still travel.
    checkRoundTrip(module);
}

bool sealDataFile(const uint8_t* plain, size_t size, std::vector<uint8_t>& sealed) {
    const uint8_t* end = plain + size;
    const uint8_t* at = std::find(plain, end, mx::kPreambleEnd);
    if (at != end) ++at;
    sealed.assign(plain, at);
    // Up to a cut header or the end marker; the rest is copied as it is.
    while (static_cast<size_t>(end - at) >= mx::kChunkHeaderSize) {
        int16_t type;
        uint16_t kind;
        int32_t length;
        std::memcpy(&type, at, 2);
        std::memcpy(&kind, at + 2, 2);
        std::memcpy(&length, at + 4, 4);
        if (type == mx::kEndMarker) break;
        const size_t available = std::min<size_t>(static_cast<size_t>(end - at) - 8,
                                                  length > 0 ? static_cast<size_t>(length) : 0);
        if (type == mx::kRecordChunk && length >= 0) {
            mx::DataFileChunk chunk;
            if (!mx::MakeRecordChunk(kind, at + 8, available, chunk)) return false;
            mx::appendChunkHeader(sealed, type, kind, static_cast<int32_t>(chunk.payload.size()));
            sealed.insert(sealed.end(), chunk.payload.begin(), chunk.payload.end());
        } else {
            sealed.insert(sealed.end(), at, at + 8 + available);
        }
        at += 8 + available;
    }
    sealed.insert(sealed.end(), at, end);
    return mx::appendDigestTrailer(sealed);
}

void loadAndExercise(const std::vector<uint8_t>& file, const uint8_t* data, size_t size) {
    static const int fd = memfd_create("mxfuzz-data-file", MFD_CLOEXEC);
    static char path[64];
    if (fd < 0) fail("no in-memory file");
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    if (ftruncate(fd, 0) != 0) fail("cannot truncate the in-memory file");
    for (size_t done = 0; done < file.size();) {
        const ssize_t n =
            pwrite(fd, file.data() + done, file.size() - done, static_cast<off_t>(done));
        if (n <= 0) fail("cannot write the in-memory file");
        done += static_cast<size_t>(n);
    }
    MorvexModule* module = untouchedHandle();
    if (!Morvex_LoadFile(path, &module)) {
        if (module != untouchedHandle()) fail("failed load wrote the handle");
        return;
    }
    if (module == untouchedHandle()) fail("successful load left the handle");
    if (module == nullptr) return;  // a file without record chunks
    exerciseModule(module, data, size);
    Morvex_FreeModule(module);
}

}  // namespace mxfuzz
