// Parses the input under every option combination, then walks every node
// through every query, decoder, JSON writer and problem record; builds both
// Text view models and checks their lines, copies and node mapping; writes
// the paths of a sample of nodes and reads them back, with their crumbs and
// inspector texts.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "doc_int.h"
#include "jx.h"
#include "line_check.h"

namespace {

using fuzz::check;
using fuzz::valid_utf8;

// Reads every byte of a text so that the sanitizers see any bad one.
volatile unsigned char g_sink;
void touch(const char *p, size_t n) {
    unsigned char x = 0;
    for (size_t i = 0; i < n; i++) x ^= static_cast<unsigned char>(p[i]);
    g_sink = x;
}

// Sibling scans (duplicate keys, indexes) make a full walk quadratic on wide
// documents: beyond a few hundred nodes a sample keeps the fuzzer fast.
bool sampled(uint32_t id, uint32_t count) { return count <= 512 || id < 64 || id % 7 == 0; }

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
    if (jx_json_size(doc, id, 1) > (1u << 16)) return;
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
    for (uint32_t id = 0; id < count; id++) {
        if (jx_child_count(doc, id) >= 64) check_children(doc, id);
    }
    for (uint32_t id = 0; id < count; id++) {
        if (sampled(id, count)) check_node(doc, id, id < 64 || id % 97 == 0);
    }
}

// ---- the Text view ----

// Widths a line is built at: no limit, a wide window, and a narrow one that varies from line to line.
constexpr uint32_t WIDE = 120, NARROW = 12;
// Lines walked in full from the start, then about this many more spread to the end.
constexpr uint32_t TEXT_HEAD = 96, TEXT_SPREAD = 64;
// A pretty copy grows with the depth of its lines and takes time by its size:
// the whole text is copied only for a document of at most COPY_LINES lines,
// and a copy larger than MAX_COPY is only measured.
constexpr uint32_t COPY_LINES = 4096;
constexpr size_t MAX_COPY = 1 << 18;
// Lines deeper than this many levels share one indentation on a line but not in a copy.
constexpr uint32_t TEXT_LEVELS = 40;

// A short plain query from the middle of the input, so that it often occurs in the document.
JxSearch *make_search(JxDoc *doc, const uint8_t *data, size_t size) {
    if (size == 0) return nullptr;
    const size_t len = std::min<size_t>(1 + size % 3, size), at = std::min(size / 2, size - len);
    JxSearchOptions o{};
    o.match_case = size & 1;
    o.scope = uint8_t(size / 2 % 3);
    JxSearch *s = jx_search_new(doc, reinterpret_cast<const char *>(data + at), len, &o, nullptr, 0);
    if (s) jx_search_run(s, nullptr);
    return s;
}

bool walked(uint32_t line, uint32_t count) {
    const uint32_t step = std::max<uint32_t>(1, count / TEXT_SPREAD);
    return line < TEXT_HEAD || line + 16 >= count || line % step == 0;
}

std::string line_text(const JxText *t, uint32_t i, JxLine *line) {
    jx_text_line(t, i, 0, nullptr, JX_NONE, line);
    return std::string(line->text, line->len);
}

// A line of text as a line at most width characters wide shows it.
std::string cut_to(const std::string &s, uint32_t width) {
    uint32_t chars = 0;
    size_t at = 0, last = 0;
    for (; at < s.size(); at++) {
        if (jx__is_cont(static_cast<unsigned char>(s[at]))) continue;
        if (chars == width) return s.substr(0, last) + "\xE2\x80\xA6";
        last = at;
        chars++;
    }
    return s;
}

// A copy of lines a to b agrees in size with jx_text_copy_size, reads the same
// either way round and, in pretty mode, is the lines themselves joined by line
// feeds while none of them is deeper than the indentation a line shows.
void check_copy(const JxText *t, uint32_t a, uint32_t b, JxLine *line) {
    const size_t size = jx_text_copy_size(t, a, b);
    if (size > MAX_COPY) return;
    size_t len = 1, back_len = 1;
    char *c = jx_text_copy(t, a, b, &len), *back = jx_text_copy(t, b, a, &back_len);
    const uint32_t count = jx_text_count(t);
    if (std::min(a, b) >= count) {
        check(!c && !back && len == 0 && back_len == 0 && size == 0);
        return;
    }
    check(c && back && len == size && back_len == size && c[len] == 0 && std::memcmp(c, back, len) == 0);
    touch(c, len);
    if (jx_text_mode(t) == JX_TEXT_PRETTY) {
        check(valid_utf8(c, len));
        std::string joined;
        bool deep = false;
        for (uint32_t i = std::min(a, b), hi = std::min(std::max(a, b), count - 1); i <= hi && !deep; i++) {
            if (!joined.empty() || i > std::min(a, b)) joined += '\n';
            joined += line_text(t, i, line);
            deep = line->len >= 2 * TEXT_LEVELS && line->text[2 * TEXT_LEVELS - 1] == ' ';
        }
        check(deep || joined == std::string(c, len));
    }
    std::free(c);
    std::free(back);
}

// The lines of one model: sound, within each width, marked only where a
// search is given, on the node jx_text_node_of names and in range.
void check_text_lines(const JxText *t, const JxDoc *doc, const JxSearch *search, JxLine *line) {
    const bool pretty = jx_text_mode(t) == JX_TEXT_PRETTY;
    const uint32_t count = jx_text_count(t), nodes = jx_doc_count(doc);
    const uint32_t current = jx_search_hit(search, 0);
    for (uint32_t i = 0; i < count; i++) {
        if (!walked(i, count)) continue;
        const uint32_t node = jx_text_node_of(t, i);
        check(node == JX_NONE || node < nodes);
        bool closing = false;
        std::string full, plain;
        for (uint32_t width : {0u, WIDE, 1 + i % NARROW}) {
            for (const JxSearch *with : {static_cast<const JxSearch *>(nullptr), search}) {
                jx_text_line(t, i, width, with, current, line);
                check(line->node == node && line->number == i + 1 && line->depth == 0 && line->chevron == 0);
                check(line->closing <= (pretty ? 1 : 0));
                closing = line->closing;
                fuzz::check_line(*line, width ? width : UINT64_MAX, with != nullptr, pretty, current);
                const std::string text(line->text, line->len);
                if (with) {
                    check(text == plain);  // a search only marks
                    continue;
                }
                plain = text;
                if (width == 0) full = text;
                // A pretty line cut short is the whole line's start and "…" (problems
                // on a line of the file keep their room, so only pretty lines compare).
                if (width && pretty) check(text == cut_to(full, width));
                if (!search) break;
            }
        }
        if (pretty) {
            // Every pretty line shows a node: a closing line its container, after the opening one.
            check(node != JX_NONE && !(jx_doc_records(doc) && node == 0));
            if (closing)
                check(jx_end(doc, node) > node + 1 && jx_text_line_of(t, node) < i);
            else
                check(jx_text_line_of(t, node) == i);
        } else if (node != JX_NONE) {
            // The node a line of the file shows starts on it or before it.
            check(jx_text_line_of(t, node) <= i);
        }
    }
    jx_text_line(t, count, 80, search, current, line);
    check(line->len == 0 && line->nruns == 0 && line->node == JX_NONE && line->number == 0);
    check(jx_text_node_of(t, count) == JX_NONE && jx_text_line_of(t, nodes) == JX_NONE);

    if (count == 0) return check_copy(t, 0, 0, line);
    if (count <= COPY_LINES) check_copy(t, 0, count - 1, line);
    check_copy(t, count - 1, JX_NONE, line);
    check_copy(t, count / 2 + 3, count / 2, line);
    check_copy(t, count, count + 1, line);
    for (uint32_t i = 0; i < count && i < 8; i++) check_copy(t, i, i, line);
}

// Both models of the document, with the lines of each node and the node of each line.
void check_text(JxDoc *doc, const JxSearch *search) {
    const uint32_t nodes = jx_doc_count(doc);
    const bool records = jx_doc_records(doc);
    JxLine line;
    jx_line_init(&line);
    for (int mode : {JX_TEXT_PRETTY, JX_TEXT_FILE}) {
        int status = -1;
        JxText *t = jx_text_new(doc, mode, nullptr, &status);
        check(t && status == JX_OK && jx_text_mode(t) == mode);
        const uint32_t count = jx_text_count(t);
        if (mode == JX_TEXT_PRETTY) {
            // An opening line per node, a closing line per container with children.
            uint64_t want = 0;
            for (uint32_t id = records ? 1 : 0; id < nodes; id++) want += jx_end(doc, id) > id + 1 ? 2 : 1;
            check(count == want);
        } else {
            check(count == jx_doc_line_count(doc));
        }
        if (records) check(jx_text_line_of(t, 0) == 0);
        for (uint32_t id = records ? 1 : 0; id < nodes; id++) {
            if (!sampled(id, nodes)) continue;
            const uint32_t at = jx_text_line_of(t, id);
            check(at < count);
            const uint32_t back = jx_text_node_of(t, at);
            if (mode == JX_TEXT_PRETTY)
                check(back == id);
            else  // the first node that starts on the line
                check(back <= id && jx_text_line_of(t, back) == at);
        }
        check_text_lines(t, doc, search, &line);
        jx_text_free(t);
    }
    jx_line_free(&line);
}

// ---- paths, crumbs and the inspector ----

constexpr int PATH_STYLES = 5;
constexpr uint32_t PATH_SAMPLES = 32;
// Ancestors walked for paths per document: deep nodes cost their depth each.
constexpr uint64_t PATH_BUDGET = 1 << 13;
// Inspector texts of subtrees larger than this come up to the cap; a few per document.
constexpr size_t INSPECT_SMALL = 1 << 16;
constexpr int INSPECT_LARGE = 2;

std::string path_of(const JxDoc *doc, uint32_t id, int style) {
    std::string p(jx_path(doc, id, style, nullptr, 0), '\0');
    check(jx_path(doc, id, style, p.data(), p.size() + 1) == p.size());
    return p;
}

// A text written into a caller's buffer of `size` bytes: zero-terminated,
// the longest prefix of `full` that ends on a whole character.
void check_cut(const char *buf, size_t size, const std::string &full) {
    size_t k = std::min(full.size(), size - 1);
    while (k > 0 && k < full.size() && jx__is_cont(static_cast<unsigned char>(full[k]))) k--;
    check(buf[k] == 0 && std::memcmp(buf, full.data(), k) == 0);
}

// Whether the node or an ancestor shares its key with a sibling: the path then
// leads to the first of them.
bool repeated_key_above(const JxDoc *doc, uint32_t id) {
    for (; id != JX_NONE; id = jx_parent(doc, id))
        if (jx_key_repeats(doc, id) >= 2) return true;
    return false;
}

void check_path(const JxDoc *doc, uint32_t id) {
    char msg[128], small[6];
    for (int style = 0; style < PATH_STYLES; style++) {
        const std::string p = path_of(doc, id, style);
        // Only the root has an empty path, and only where the style writes no root.
        check(!p.empty() || (id == 0 && style >= JX_PATH_JAVASCRIPT));
        check(valid_utf8(p.data(), p.size()));
        check(jx_path(doc, id, style, small, sizeof small) == p.size());
        check_cut(small, sizeof small, p);
        const uint32_t got = jx_resolve(doc, p.data(), p.size(), msg, sizeof msg);
        check(std::memchr(msg, 0, sizeof msg) && valid_utf8(msg, std::strlen(msg)));
        if (got == id) {
            check(msg[0] == 0);
            continue;
        }
        check(repeated_key_above(doc, id));
        if (got == JX_NONE)
            check(msg[0] != 0);
        else
            check(path_of(doc, got, style) == p);
    }
}

void check_crumbs(const JxDoc *doc, uint32_t id) {
    const uint32_t depth = jx_depth(doc, id), records = jx_doc_records(doc);
    check(jx_crumb_count(doc, id) == depth + 1);
    check(jx_crumb_node(doc, id, 0) == 0 && jx_crumb_node(doc, id, depth + 1) == JX_NONE);
    char label[16];
    uint32_t below = JX_NONE;
    // Each crumb costs the depth: the first and last few of a deep node.
    for (uint32_t i = depth + 1; i-- > 0;) {
        if (i >= 8 && i + 8 < depth) {
            i = 8;
            below = JX_NONE;
        }
        const uint32_t c = jx_crumb_node(doc, id, i);
        check(c < jx_doc_count(doc) && jx_depth(doc, c) == i && (i < depth || c == id));
        check(below == JX_NONE || jx_parent(doc, below) == c);
        below = c;
        const size_t n = jx_crumb_label(doc, c, label, sizeof label);
        const size_t k = std::strlen(label);
        check(k <= std::min(n, sizeof label - 1) && k + 3 >= std::min(n, sizeof label - 1) &&
              valid_utf8(label, k));
        if (i == 0) {
            check(std::string(label) == (records ? "records" : "root"));
        } else if (!jx_has_key(doc, c) && !(records && i == 1)) {
            check(std::string(label) == "[" + std::to_string(jx_index_in_parent(doc, c)) + "]");
        }
    }
}

void check_inspect(const JxDoc *doc, uint32_t id, int *large) {
    if (jx_json_size(doc, id, 1) > INSPECT_SMALL) {
        if (*large >= INSPECT_LARGE) return;
        ++*large;
    }
    const int style = int(id % PATH_STYLES);
    size_t len = 1;
    char *s = jx_inspect_text(doc, id, style, &len);
    check(s && s[len] == 0);
    touch(s, len);
    // The header holds a summary, the size and the path, a few hundred bytes besides the path.
    check(valid_utf8(s, len) && len <= JX_INSPECT_CAP + jx_path(doc, id, style, nullptr, 0) + 1024);
    std::free(s);
}

void check_paths(const JxDoc *doc) {
    const uint32_t count = jx_doc_count(doc), step = std::max<uint32_t>(1, count / PATH_SAMPLES);
    uint64_t budget = PATH_BUDGET;
    int large = 0;
    for (uint32_t id = 0; id < count; id++) {
        if (!(id < 16 || id % step == 0 || id + 1 == count)) continue;
        const uint64_t cost = uint64_t(jx_depth(doc, id)) + 1;
        if (cost > budget) continue;
        budget -= cost;
        check_path(doc, id);
        check_crumbs(doc, id);
        check_inspect(doc, id, &large);
    }
    check(jx_crumb_count(doc, count) == 0 && jx_crumb_node(doc, count, 0) == JX_NONE);
    check(jx_path(doc, count, JX_PATH_JSONPATH, nullptr, 0) == 0 && !jx_inspect_text(doc, count, 0, nullptr));
}

void check_views(JxDoc *doc, const uint8_t *data, size_t size) {
    JxSearch *s = make_search(doc, data, size);
    check_text(doc, s);
    check_paths(doc);
    jx_search_free(s);
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
        if (doc) {
            check_doc(doc);
            check_views(doc, data, size);
        }
        jx_doc_release(doc);
    }
    return 0;
}
