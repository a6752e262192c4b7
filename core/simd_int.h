/* simd_int.h: the vector scans behind the parser's hot loops.
 *
 * The parser looks at the first 8 bytes of a string, a number or an
 * indentation itself; what runs longer goes to these kernels, which test 16,
 * 32 or 64 bytes a step. One binary serves every x86-64 machine: SSE2 is the
 * floor, AVX2 and AVX-512 are taken when the CPU (and the system) has them,
 * and other architectures get the 8-byte word scans. The path is chosen once
 * per process; a parse takes the kernels at its start and keeps them.
 *
 * Bounds: a kernel loads whole blocks from its start pointer on and stops at
 * the first block holding what it looks for. The texts it is given are
 * followed by 64 zero bytes (jx_buf_alloc), and a zero byte ends every scan
 * here, so a scan that starts at or before the text end reads at most 63 bytes
 * past it. */
#ifndef JX_SIMD_INT_H
#define JX_SIMD_INT_H

#include <cstddef>
#include <cstdint>

#include "doc_int.h"

/* The code paths, from the word scans up. */
enum : int {
    JX_PATH_WORDS = 0,
    JX_PATH_SSE2 = 1,
    JX_PATH_AVX2 = 2,
    JX_PATH_AVX512 = 3,
    JX_PATH_COUNT = 4
};

struct jx_kernels {
    /* First byte at or after p that is quote, a backslash or below 0x20.
     * After each block without one the scan stops once it has reached limit
     * and returns where it stopped, so that a long string can be interrupted
     * (the caller tells the two apart by the byte there). */
    const char *(*string_stop)(const char *p, const char *limit, unsigned char quote);
    /* First byte at or after p that is not a space, tab or CR. */
    const char *(*blank_end)(const char *p);
    /* First byte at or after p that is not an ASCII digit. */
    const char *(*digits_end)(const char *p);
    /* Writes the offset from origin of the byte after each LF in [p, end) to
     * out, up to room of them; returns how many it wrote and sets *next to
     * where a further call goes on (end once all were written). */
    uint32_t (*line_starts)(const char *p, const char *end, const char *origin, uint32_t *out, uint32_t room,
                            const char **next /* out */);
};

/* The word tests the kernels and the parser's inline first steps share. */

/* Flags (bit 7) the bytes of w that end a string body: quote, a backslash, a
 * byte below 0x20. A borrow may flag a byte after a true stop, never one
 * before it, so the lowest flag is exact. */
inline uint64_t jx__string_stops(uint64_t w, unsigned char quote) {
    return jx__has_byte(w, quote) | jx__has_byte(w, '\\') | jx__has_less(w, 0x20);
}

/* Flags (bits 4-5) the bytes of w that are no ASCII digit. A carry out of a
 * non-digit byte can only disturb the bytes after it, so the lowest flag is
 * exact. */
inline uint64_t jx__non_digits(uint64_t w) {
    return ((w & 0xF0F0F0F0F0F0F0F0ull) | (((w + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) >> 4)) ^
           0x3333333333333333ull;
}

/* The kernels a parse uses: the best path this machine runs, unless a test
 * has forced another. Thread-safe. */
const jx_kernels *jx__kernels();

/* The path jx__kernels gives. */
int jx__kernel_path();

/* Whether this machine (and this build) can run path. */
bool jx__path_supported(int path);

/* For tests only: makes jx__kernels give path's kernels from now on (-1: the
 * best again). False, changing nothing, when the path is not supported.
 * Parses already running keep theirs. */
bool jx__force_path(int path);

/* The path's name ("words", "sse2", "avx2", "avx512"). */
const char *jx__path_name(int path);

#endif
