// Parses the input under every option combination, then walks every node
// through every query, decoder, JSON writer and problem record.
#include <cstdlib>
#include <cstring>

#include "doc_int.h"
#include "jx.h"

namespace {

// Reads every byte of a text so that the sanitizers see any bad one.
volatile unsigned char g_sink;
void touch(const char *p, size_t n) {
    unsigned char x = 0;
    for (size_t i = 0; i < n; i++) x ^= static_cast<unsigned char>(p[i]);
    g_sink = x;
}

void check_node(JxDoc *doc, uint32_t id, bool deep) {
    char small[7], big[256];
    jx_type(doc, id);
    jx_flags(doc, id);
    jx_first_child(doc, id);
    jx_next_sibling(doc, id);
    jx_child_at(doc, id, jx_child_count(doc, id) / 2);
    jx_index_in_parent(doc, id);
    jx_key_offset(doc, id);
    jx_key_len(doc, id);
    jx_val_len(doc, id);
    jx_record_line(doc, id);
    jx_doc_col_of(doc, jx_val_offset(doc, id));
    size_t k = jx_key_text(doc, id, small, sizeof small);
    if (k >= sizeof small) touch(small, std::strlen(small));
    jx_key_text(doc, id, big, sizeof big);
    jx_val_text(doc, id, small, sizeof small);
    jx_val_text(doc, id, big, sizeof big);
    jx_key_repeats(doc, id);
    jx__row_message(doc, id);
    jx_select_text(doc, id, big, sizeof big);
    size_t n = 0;
    if (char *s = jx_copy_key(doc, id, &n)) touch(s, n), std::free(s);
    if (!deep) return;
    // pretty output of deep nesting grows with the square of the depth
    if (jx_json_size(doc, id, 1) > (1u << 20)) return;
    if (char *s = jx_copy_value(doc, id, &n)) touch(s, n), std::free(s);
    for (int pretty = 0; pretty < 2; pretty++) {
        if (char *s = jx_copy_json(doc, id, pretty, &n)) touch(s, n), std::free(s);
    }
}

// The skip index must give the same children as a walk along sibling links.
void check_children(JxDoc *doc, uint32_t id) {
    uint32_t n = jx_child_count(doc, id), child = jx_first_child(doc, id);
    for (uint32_t i = 0; i < n; i++) {
        if (jx_child_at(doc, id, i) != child || jx_index_in_parent(doc, child) != i) __builtin_trap();
        child = jx_next_sibling(doc, child);
    }
    if (child != JX_NONE) __builtin_trap();
}

void check_doc(JxDoc *doc) {
    char text[512];
    jx_status_text(doc, 1234, text, sizeof text);
    jx_errorbar_text(doc, text, sizeof text);
    for (uint32_t i = 0; i < jx_doc_error_count(doc); i++) {
        const jx_problem *p = jx_doc_error(doc, i);
        if (p) touch(p->message, std::strlen(p->message));
    }
    for (uint32_t line = 0; line <= jx_doc_line_count(doc); line++) jx_doc_line_start(doc, line);
    uint32_t count = jx_doc_count(doc);
    // Sibling scans (duplicate keys, indexes) make a full walk quadratic on wide
    // documents: beyond a few hundred nodes a sample keeps the fuzzer fast.
    uint32_t step = count <= 512 ? 1 : 7;
    for (uint32_t id = 0; id < count; id++) {
        if (jx_child_count(doc, id) >= 64) check_children(doc, id);
    }
    for (uint32_t id = 0; id < count; id++) {
        if (id < 64 || id % step == 0) check_node(doc, id, id < 64 || id % 97 == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Walking every node of a huge seed costs time quadratic in its depth
    // (depth and length queries climb ancestors); the unit tests cover those.
    if (size > 65536) return 0;
    for (int mode = 0; mode < 4; mode++) {
        char *buf = jx_buf_alloc(size);
        if (!buf) return 0;
        if (size) std::memcpy(buf, data, size);
        jx_parse_options opt{uint8_t(mode & 1), uint8_t(mode >> 1)};
        int status = -1;
        JxDoc *doc = jx_parse(buf, size, &opt, nullptr, &status);
        if (doc) check_doc(doc);
        jx_doc_release(doc);
    }
    return 0;
}
