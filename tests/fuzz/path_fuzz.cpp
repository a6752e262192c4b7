// Reads the input as a typed path and resolves it over a sample document whose keys
// are awkward for every style; the node it names must come back from its own path in
// every style, and every cut text must be a prefix of the whole one.
#include <cstdint>
#include <cstring>
#include <string>

#include "jx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

// Keys that need quoting or escaping in some style, digits meeting arrays and objects,
// duplicates (the first wins), JSON5 forms, comments, invalid UTF-8, and three values,
// so that the root is the array of records.
constexpr char SAMPLE[] =
    "{\"a\": {\"b c\": [1, {\"x\": true}], \"$x\": {\"$x\": 0, \"x$\": [null]}},\n"
    " \"\": {\"\": []}, \"it's \\\"q\\\" \\\\\": 1, \"ctl\\n\\t\\u0001\\u007f\\u001f\": 2,\n"
    " \"a/b\": {\"m~n\": {\"~1\": 3}}, \"01\": [4, 5], \"7\": {\"01\": 6, \"1\": 7},\n"
    " \"\xC3\xA9\": 8, \"\\u00e9\": 9, \"\xF0\x9F\x98\x80\": 10, \"\\ud800\": 11, 'single\\'s': 12,\n"
    " unquoted$: 13, \\u0061bc: 14, \"dup\": {\"k\": 1}, \"dup\": {\"k\": 2, \"j\": 3}, /* c */\n"
    " \"\xFF\": 15, \"[']\": 16, \"$.a\": 17, \"a.b\": 18, \"\\\"]\": 19,}\n"
    "[0, [1, [2]], {\"0\": \"zero\", \"\": {\"/\": 0}}]\n"
    "// the last value\n"
    "\"scalar\"\n";

JxDoc *sample() {
    static JxDoc *doc = [] {
        char *buf = jx_buf_alloc(sizeof SAMPLE - 1);
        if (!buf) __builtin_trap();
        std::memcpy(buf, SAMPLE, sizeof SAMPLE - 1);
        jx_parse_options opt{0, 0};
        int status = -1;
        return jx_parse(buf, sizeof SAMPLE - 1, &opt, nullptr, &status);
    }();
    return doc;
}

std::string key_of(const JxDoc *doc, uint32_t id) {
    std::string k(jx_key_text(doc, id, nullptr, 0), '\0');
    jx_key_text(doc, id, k.data(), k.size() + 1);
    return k;
}

// Whether the node or an ancestor is a member with the key of an earlier sibling: its
// path then names that sibling's subtree instead.
bool shadowed(const JxDoc *doc, uint32_t node) {
    for (uint32_t n = node; n != 0 && n != JX_NONE; n = jx_parent(doc, n)) {
        if (!jx_has_key(doc, n)) continue;
        const std::string key = key_of(doc, n);
        for (uint32_t c = jx_first_child(doc, jx_parent(doc, n)); c != n; c = jx_next_sibling(doc, c))
            if (jx_has_key(doc, c) && key_of(doc, c) == key) return true;
    }
    return false;
}

// A text cut into a small buffer is a zero-terminated prefix of the whole text.
void check_prefix(const char *cut, size_t size, const std::string &whole) {
    size_t n = std::strlen(cut);
    if (n >= size || n > whole.size() || std::memcmp(cut, whole.data(), n) != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    JxDoc *doc = sample();
    char msg[64];
    std::memset(msg, 'x', sizeof msg);
    const uint32_t node = jx_resolve(doc, reinterpret_cast<const char *>(data), size, msg, sizeof msg);
    // Nothing here runs out of memory, so a failure always says why and a success says nothing.
    if (std::memchr(msg, 0, sizeof msg) == nullptr || (node == JX_NONE) != (msg[0] != 0)) __builtin_trap();
    if (node == JX_NONE) return 0;
    if (node >= jx_doc_count(doc)) __builtin_trap();

    const bool dup = shadowed(doc, node);
    char small[8];
    const size_t cut = 1 + size % sizeof small;
    for (int style = JX_PATH_JSONPATH; style <= JX_PATH_POINTER; style++) {
        const size_t len = jx_path(doc, node, style, nullptr, 0);
        std::string path(len + 1, 'x');
        if (jx_path(doc, node, style, path.data(), path.size()) != len || path[len] != 0) __builtin_trap();
        path.resize(len);
        const uint32_t back = jx_resolve(doc, path.data(), path.size(), nullptr, 0);
        // A path only names first members, so whatever it reaches is never shadowed.
        if ((!dup && back != node) || (back != JX_NONE && shadowed(doc, back))) __builtin_trap();
        if (jx_path(doc, node, style, small, cut) != len) __builtin_trap();
        check_prefix(small, cut, path);
    }

    const uint32_t crumbs = jx_crumb_count(doc, node);
    if (crumbs == 0 || jx_crumb_node(doc, node, crumbs - 1) != node ||
        jx_crumb_node(doc, node, crumbs) != JX_NONE)
        __builtin_trap();
    for (uint32_t i = 0; i < crumbs; i++) {
        const uint32_t c = jx_crumb_node(doc, node, i);
        std::string label(jx_crumb_label(doc, c, nullptr, 0), '\0');
        jx_crumb_label(doc, c, label.data(), label.size() + 1);
        if (jx_crumb_label(doc, c, small, cut) != label.size()) __builtin_trap();
        check_prefix(small, cut, label);
    }
    return 0;
}
