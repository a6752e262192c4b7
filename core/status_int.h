/* status_int.h: the text builder and the pieces of texts that other modules of
 * the core (the inspector, the view) build on. */
#ifndef JX_STATUS_INT_H
#define JX_STATUS_INT_H

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "chars_int.h"
#include "jx/status.h"

/*
 * A UTF-8 text under construction. Either it grows on the heap (the owner
 * frees text with str_free), writes into a fixed buffer of the caller, or only
 * measures. Once failed is set every later put is ignored and the text must be
 * discarded; the owner still frees a grown buffer.
 */
struct jx_str {
    char *text;       /* the bytes, followed by a zero byte once anything was put */
    size_t length;    /* bytes used */
    size_t capacity;  /* bytes available in text */
    size_t limit;     /* largest length allowed; SIZE_MAX for none */
    uint8_t fixed;    /* text is the caller's buffer and never grows */
    uint8_t measure;  /* only length is counted; text is untouched */
    uint8_t failed;   /* memory ran out or the fixed buffer was too small */
    uint8_t truncated;/* the limit cut the text */
};

/* A growing builder, empty and without a buffer yet. */
inline jx_str str_heap() { return jx_str{nullptr, 0, 0, SIZE_MAX, 0, 0, 0, 0}; }
/* A builder over the caller's buffer of capacity bytes (capacity >= 1). */
inline jx_str str_fixed(char *buf, size_t capacity) {
    buf[0] = 0;
    return jx_str{buf, 0, capacity, SIZE_MAX, 1, 0, 0, 0};
}
/* A builder that only counts. */
inline jx_str str_measure() { return jx_str{nullptr, 0, 0, SIZE_MAX, 0, 1, 0, 0}; }
/* Frees a grown buffer and empties the builder; fixed and measuring builders own nothing. */
void str_free(jx_str *b);

/*
 * Appends n bytes. Past the limit the bytes are cut (by bytes: a character
 * may be split, the owner of the limit cuts again at a boundary) and truncated
 * is set. A fixed buffer without room for the bytes and a zero byte, or a
 * failed reallocation, sets failed. Growth doubles the capacity from 256.
 */
void str_put(jx_str *b, const char *bytes, size_t n);
inline void str_put(jx_str *b, std::string_view s) { str_put(b, s.data(), s.size()); }
/* Room for n more bytes to be written straight into the text (followed by
 * room for the zero byte), or null when the builder failed, measures, or
 * memory runs out (failed is then set). str_commit takes the bytes written. */
char *str_reserve(jx_str *b, size_t n);
void str_commit(jx_str *b, size_t n);
/* Appends n in the count format (1,000). */
void str_count(jx_str *b, uint64_t n);
/* Appends n in the byte format (1.5 KB). */
void str_bytes(jx_str *b, uint64_t n);

/* Appends the selection summary of a node ("object · 2 keys"); nothing for a
 * null document or an id not below the node count. */
void fm_select(jx_str *b, const JxDoc *doc, uint32_t node);

/* The separator of status and summary pieces: a middle dot between spaces. */
inline constexpr std::string_view JX_SEP = " \xC2\xB7 ";

/* The count and byte formats into out (at least 32 bytes); return the length. */
size_t jx__fmt_count(uint64_t n, char *out);
size_t jx__fmt_bytes(uint64_t n, char *out);

#endif
