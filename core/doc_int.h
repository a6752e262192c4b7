/* doc_int.h: the document record and node access shared by the core's modules. */
#ifndef JX_DOC_INT_H
#define JX_DOC_INT_H

#include <atomic>
#include <cstdint>
#include <cstring>

#include "jx/doc.h"
#include "jx/problem.h"

struct JxNode {
    uint32_t key_off;
    uint32_t val_off;
    uint32_t end;
    uint32_t parent;
    uint32_t info; /* bits 0-2 type, 3-6 flags, 7 big mark, 8-31 count or length */
};
static_assert(sizeof(JxNode) == 20);

struct JxStoredProblem {
    uint32_t offset;
    uint32_t node;
    uint32_t message; /* index into jx__messages */
};

struct JxBig {
    uint32_t node;
    uint32_t number;
};

struct JxSkipHead {
    uint32_t node;
    uint32_t first;
};

struct JxDoc {
    std::atomic<uint32_t> refs;
    const char *text;
    char *buffer;
    uint32_t size;
    uint32_t format;
    const char *encoding;
    uint32_t syntax;
    uint32_t syntax_offset;
    JxNode **chunks;
    uint32_t chunk_count;
    uint32_t count;
    uint32_t *line_starts;
    uint32_t line_count;
    uint8_t minified;
    JxStoredProblem *problems;
    uint32_t problem_count;
    uint32_t oom_problem; /* index of the "out of memory" problem, or JX_NONE */
    /* Readable records: the first problem's and the out-of-memory problem's
     * are made at the end of the parse, so that the error bar never needs
     * memory for them; the others are made by jx_doc_error in blocks of
     * JX_PROBLEM_BLOCK, listed by an index of block_count entries. Index and
     * blocks are built on first use and published by compare-and-swap, since
     * readers of a document run on several threads. */
    jx_problem first_problem;
    jx_problem oom_record;
    mutable std::atomic<std::atomic<jx_problem *> *> problem_blocks;
    uint32_t block_count;
    JxBig *big;
    uint32_t big_count;
    JxSkipHead *skip_heads;
    uint32_t skip_head_count;
    uint32_t *skip_samples;
};

inline constexpr uint32_t JX_CHUNK_SHIFT = 20;
inline constexpr uint32_t JX_CHUNK_NODES = 1u << JX_CHUNK_SHIFT;
inline constexpr uint32_t JX_MAX_CHUNKS = 4095;
inline constexpr uint32_t JX_BIG_MARK = 0x80;
inline constexpr uint32_t JX_FIELD_MAX = 0xFFFFFF;
inline constexpr uint32_t JX_BIG_FROM = 0x1000000;

/* Node id n; the caller has checked n < doc->count. */
inline JxNode *jx__node(const JxDoc *d, uint32_t n) {
    return &d->chunks[n >> JX_CHUNK_SHIFT][n & (JX_CHUNK_NODES - 1)];
}
inline bool jx__valid(const JxDoc *d, uint32_t n) { return d && n < d->count; }
inline int jx__type_of(const JxNode *n) { return n->info & 7; }
inline int jx__flags_of(const JxNode *n) { return (n->info >> 3) & 15; }
inline bool jx__is_container(uint32_t info) { return (info & 6) == 0; }

/* The node's 24-bit count or length, from the big table when marked
 * (0xFFFFFF when the table has no entry). */
uint32_t jx__number(const JxDoc *d, uint32_t id, const JxNode *n);

/* Message table of parse problems; JX_MSG_COUNT entries. */
extern const char *const jx__messages[];
enum : uint32_t {
    JX_MSG_EOF = 0,
    JX_MSG_EXPECTED_VALUE,
    JX_MSG_EXPECTED_COMMA_OBJECT,
    JX_MSG_EXPECTED_COMMA_ARRAY,
    JX_MSG_EXPECTED_COLON,
    JX_MSG_EXPECTED_KEY,
    JX_MSG_INVALID_NUMBER,
    JX_MSG_INVALID_ESCAPE,
    JX_MSG_UNTERMINATED_STRING,
    JX_MSG_CONTROL_CHAR,
    JX_MSG_INVALID_LITERAL,
    JX_MSG_TRAILING_TEXT,
    JX_MSG_TOO_DEEP,
    JX_MSG_TRAILING_COMMA,
    JX_MSG_COMMENTS,
    JX_MSG_OOM,
    JX_MSG_EOL,
    JX_MSG_EXPECTED_EOL,
    JX_MSG_UNKNOWN,
    JX_MSG_COUNT
};

/* Identifier bytes of unquoted keys: ASCII letters, digits, $, _ and bytes >= 0x80. */
inline constexpr bool jx__ident_byte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '$' ||
           c == '_' || c >= 0x80;
}

/* 8 bytes at p, unaligned. */
inline uint64_t jx__load8(const void *p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
/* Bit 7 of each byte of the result is set where the byte of v equals c. */
inline uint64_t jx__has_byte(uint64_t v, unsigned char c) {
    uint64_t x = v ^ (0x0101010101010101ull * c);
    return (x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull;
}
/* Bit 7 of each byte of the result is set where the byte of v is below n (n <= 128). */
inline uint64_t jx__has_less(uint64_t v, unsigned char n) {
    return (v - 0x0101010101010101ull * n) & ~v & 0x8080808080808080ull;
}

inline constexpr uint32_t JX_PROBLEM_BLOCK = 1024;

/* Writes the ids of container id's children from index first on to out in
 * order, at most room of them, and returns how many it wrote (0 for a scalar
 * or past the last child). Wide containers are walked along their skip
 * samples, several runs at once, when first is a multiple of 16. */
uint32_t jx__children(const JxDoc *d, uint32_t id, uint32_t first, uint32_t *out, uint32_t room);

/* Depth of node id, found from a node whose depth is known: both walk up
 * only as far as their nearest common ancestor. Both ids must be valid. */
uint32_t jx__depth_from(const JxDoc *d, uint32_t id, uint32_t known, uint32_t known_depth);

/* Builds the readable record of stored problem i (line, column, message). */
void jx__error_make(const JxDoc *d, uint32_t i, jx_problem *out);

/* Once the problems are stored: finds the out-of-memory problem, makes the
 * records kept ready and sizes the block index. Allocates nothing. */
void jx__problems_ready(JxDoc *d);

/* The message of the problem that produced node id (a JX_BAD record), or null. */
const char *jx__row_message(const JxDoc *d, uint32_t id);

#endif
