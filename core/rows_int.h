/* rows_int.h: the row model's record, for core modules that read rows in bulk. */
#ifndef JX_ROWS_INT_H
#define JX_ROWS_INT_H

#include <cstdint>

#include "jx/rows.h"

struct JxRows {
    JxDoc *doc;           /* one reference held */
    uint32_t node_count;  /* read once at creation */
    uint32_t *row_ids;    /* visible node ids, strictly ascending */
    uint32_t row_count;
    uint32_t row_capacity;
    uint64_t *open_bits;  /* bit (id % 64) of word id / 64: node expanded */
    uint32_t open_count;  /* set bits in open_bits */
};

#endif
