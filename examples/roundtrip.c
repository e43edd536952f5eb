/* A minimal host: builds a module record by hand, deserializes it through the
 * plug-in, reads it back through the getters and serializes it again, checking
 * that the blob comes back byte for byte. */
#include <stdio.h>
#include <string.h>

#include "mxplugin/mxplugin.h"

static size_t put_u64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = (uint8_t)(v >> (8 * i));
    return 8;
}

static size_t put_f64(uint8_t* p, double v) {
    uint64_t bits;
    memcpy(&bits, &v, sizeof bits);
    return put_u64(p, bits);
}

static size_t put_string(uint8_t* p, const char* s) {
    size_t n = strlen(s);
    put_u64(p, n);
    memcpy(p + 8, s, n);
    return 8 + n;
}

static size_t put_f64_array(uint8_t* p, const double* v, uint64_t n) {
    size_t at = put_u64(p, n);
    for (uint64_t i = 0; i < n; ++i) at += put_f64(p + at, v[i]);
    return at;
}

/* A module record without entries: ranges, axes, status words and properties. */
static size_t build_module_record(uint8_t* p) {
    static const double ranges[8] = {1.0, 100.0, 0.0, 0.5, 20.0, 200.0, 0.0, 500.0};
    static const double axis[3] = {0.4, 1.2, 0.8};
    static const double one = 1.0;
    size_t at = 16; /* identifier: zero bytes */
    memset(p, 0, 16);
    at += put_string(p + at, "VersionBlk");
    p[at++] = 3; /* record kind, u16 */
    p[at++] = 0;
    at += put_string(p + at, "demo sheet");
    at += put_string(p + at, "demo lubricant");
    at += put_string(p + at, "2");
    for (int i = 0; i < 8; ++i) at += put_f64(p + at, ranges[i]);
    at += put_u64(p + at, 0); /* primary entries */
    at += put_u64(p + at, 0); /* secondary entries */
    at += put_f64(p + at, 0.8);
    at += put_f64(p + at, 1.0);
    at += put_f64(p + at, 0.3);
    for (int i = 0; i < 4; ++i) at += put_f64_array(p + at, &one, 1);
    at += put_f64_array(p + at, axis, 3); /* sheet roughness, stored unsorted */
    at += put_f64_array(p + at, &one, 1);
    at += put_f64_array(p + at, &one, 1);
    at += put_u64(p + at, 0); /* direction dependency */
    at += put_u64(p + at, 0); /* heat transfer status */
    at += put_u64(p + at, 1);
    at += put_string(p + at, "SheetGrade");
    at += put_string(p + at, "DX54D");
    at += put_u64(p + at, 0);
    at += put_u64(p + at, 0);
    return at;
}

int main(void) {
    uint8_t record[1024];
    const size_t size = build_module_record(record);
    MorvexModule* module = NULL;
    if (!Morvex_DeserializeModule(record, (int32_t)size, &module)) {
        fprintf(stderr, "deserialize failed\n");
        return 1;
    }
    double lo, hi;
    Morvex_GetPressureRange(module, &lo, &hi);
    printf("pressure range          %g .. %g\n", lo, hi);
    Morvex_GetSheetRoughnessRange(module, &lo, &hi);
    printf("sheet roughness range   %g .. %g (axis sorted by the plug-in)\n", lo, hi);
    const MorvexProperty* props;
    uint32_t count;
    Morvex_GetWorkpieceProperties(module, &props, &count);
    printf("workpiece properties    %u\n", count);

    uint8_t* blob = NULL;
    uint64_t length = 0;
    if (!Morvex_SerializeModule(module, &blob, &length)) {
        fprintf(stderr, "serialize failed\n");
        Morvex_FreeModule(module);
        return 1;
    }
    MorvexModule* again = NULL;
    uint8_t* blob2 = NULL;
    uint64_t length2 = 0;
    int same = Morvex_DeserializeModule(blob, (int32_t)length, &again) &&
               Morvex_SerializeModule(again, &blob2, &length2) && length == length2 &&
               memcmp(blob, blob2, (size_t)length) == 0;
    printf("blob of %llu bytes round-trips %s\n", (unsigned long long)length,
           same ? "byte for byte" : "WITH DIFFERENCES");
    Morvex_FreeBlob(&blob);
    if (blob2) Morvex_FreeBlob(&blob2);
    Morvex_FreeModule(again);
    Morvex_FreeModule(module);
    return same ? 0 : 1;
}
