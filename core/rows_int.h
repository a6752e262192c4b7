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
    /* The last depth asked for: a screen of rows is drawn top to bottom, and
     * each row's depth follows from its neighbour's in a few steps where a
     * walk to the root would take as many as the document is deep. */
    mutable uint32_t depth_node;
    mutable uint32_t depth;
};

/* Depth of node id (valid), found from the last one asked for. */
uint32_t jx__rows_depth(const JxRows *rows, uint32_t id);

#endif
