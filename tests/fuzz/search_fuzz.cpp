// Searches a document for a query, both taken from the input, and checks that
// the run, the one-node test and the highlighting agree with each other.
//
// Input: one byte of flags, one byte of query length, the query, the document.
// Flags: bit 0 match case, bit 1 regular expression, bits 2-3 scope (3 reads as
// all), bit 4 a small cap of hits, bit 5 strict JSON, bit 6 JSON Lines.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "chars_int.h"
#include "jx.h"
#include "search_int.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

bool valid_utf8(const std::string &t) {
    const auto *p = reinterpret_cast<const unsigned char *>(t.data()), *end = p + t.size();
    while (p < end) {
        size_t n = *p < 0x80 ? 1 : jx__utf8_len(p, end);
        if (n == 0) return false;
        p += n;
    }
    return true;
}

std::string text_of(const JxDoc *d, uint32_t id, bool key) {
    size_t n = key ? jx_key_text(d, id, nullptr, 0) : jx_val_text(d, id, nullptr, 0);
    std::string t(n + 1, '\0');
    key ? jx_key_text(d, id, t.data(), t.size()) : jx_val_text(d, id, t.data(), t.size());
    t.resize(n);
    return t;
}

// Matches of the query in one text: in bounds, non-empty, in order, apart, on
// character boundaries; the count does not depend on how many are asked for.
uint32_t check_ranges(const JxSearch *s, const std::string &t, int is_key) {
    uint32_t starts[8], lengths[8];
    uint32_t n = jx_search_ranges(s, t.data(), uint32_t(t.size()), is_key, starts, lengths, 8);
    check(jx_search_ranges(s, t.data(), uint32_t(t.size()), is_key, nullptr, nullptr, 0) == n);
    std::vector<bool> boundary(t.size() + 1, false);
    const auto *p = reinterpret_cast<const unsigned char *>(t.data()), *end = p + t.size();
    for (const unsigned char *q = p; q < end; q += jx__char_len(q, end)) boundary[size_t(q - p)] = true;
    boundary[t.size()] = true;
    uint32_t after = 0;
    for (uint32_t i = 0; i < n && i < 8; i++) {
        check(lengths[i] > 0 && starts[i] >= after && starts[i] <= t.size() &&
              lengths[i] <= t.size() - starts[i]);
        after = starts[i] + lengths[i];
        check(boundary[starts[i]] && boundary[after]);
    }
    return n;
}

std::vector<uint32_t> hits_of(const JxSearch *s) {
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < jx_search_count(s); i++) out.push_back(jx_search_hit(s, i));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 || size > 65536) return 0;
    const uint8_t flags = data[0];
    const size_t qlen = std::min<size_t>(data[1], size - 2);
    const std::string query(reinterpret_cast<const char *>(data + 2), qlen);
    const size_t dlen = size - 2 - qlen;

    char *buf = jx_buf_alloc(dlen);
    if (!buf) return 0;
    if (dlen) std::memcpy(buf, data + 2 + qlen, dlen);
    jx_parse_options po{uint8_t(flags >> 5 & 1), uint8_t(flags >> 6 & 1)};
    JxDoc *doc = jx_parse(buf, dlen, &po, nullptr, nullptr);
    if (!doc) return 0;

    JxSearchOptions o{};
    o.match_case = flags & 1;
    o.regex = flags >> 1 & 1;
    o.scope = uint8_t(flags >> 2 & 3) % 3;  // 3 reads as 0, all
    o.max_hits = flags & 0x10 ? 1 + qlen % 4 : 0;
    char err[64];
    JxSearch *s = jx_search_new(doc, query.data(), query.size(), &o, err, sizeof err);
    check(std::strlen(err) < sizeof err);
    if (!s) {
        jx_doc_release(doc);
        return 0;
    }
    check(jx_search_run(s, nullptr) == JX_OK && jx_search_finished(s));
    check(jx_search_run(s, nullptr) == JX_REFUSED);

    const uint32_t count = jx_doc_count(doc);
    const std::vector<uint32_t> hits = hits_of(s);
    const bool capped = jx_search_capped(s);
    check(capped ? hits.size() == (o.max_hits ? o.max_hits : 10000000) : hits.size() <= count);
    check(jx_search_hit(s, uint32_t(hits.size())) == JX_NONE);

    // The portable word scan finds what the vector scan finds, and a regular expression finds
    // without first looking for its literals what it finds with them.
    for (void (*hook)(bool) : {jx__search_force_words, jx__search_no_literals}) {
        if (hook == jx__search_no_literals && !o.regex) continue;
        hook(true);
        JxSearch *w = jx_search_new(doc, query.data(), query.size(), &o, nullptr, 0);
        hook(false);
        check(w && jx_search_run(w, nullptr) == JX_OK && hits_of(w) == hits);
        jx_search_free(w);
    }

    // Hits ascend, each node once, and the steps between them agree.
    for (size_t i = 0; i < hits.size(); i++) {
        check(hits[i] < count && (i == 0 || hits[i - 1] < hits[i]));
        check(jx_search_index_of(s, hits[i]) == i);
        check(jx_search_next(s, hits[i], 0) == (i + 1 < hits.size() ? i + 1 : 0));
        check(jx_search_next(s, hits[i], 1) == (i > 0 ? i - 1 : hits.size() - 1));
    }

    // The run and the one-node test agree on every node up to where the run stopped;
    // plain text is highlighted exactly where a node is a hit.
    const bool q_clean = valid_utf8(query) && query.find("\xEF\xBF\xBD") == std::string::npos;
    const uint32_t last = capped ? (hits.empty() ? 0 : hits.back() + 1) : count;
    size_t next = 0;
    for (uint32_t id = 0; id < count; id++) {
        const bool hit = next < hits.size() && hits[next] == id;
        next += hit;
        if (id < last) check(jx_search_matches(s, id) == int(hit));
        const std::string k = text_of(doc, id, true), v = text_of(doc, id, false);
        const bool scalar = jx_type(doc, id) > JX_ARRAY;
        uint32_t marked = jx_has_key(doc, id) ? check_ranges(s, k, 1) : 0;
        if (scalar) marked += check_ranges(s, v, 0);
        // Repaired bytes read as U+FFFD in the decoded text but as they are in the run.
        const bool clean =
            k.find("\xEF\xBF\xBD") == std::string::npos && v.find("\xEF\xBF\xBD") == std::string::npos;
        if (!o.regex && q_clean && clean && id < last) check((marked > 0) == hit);
    }
    check(jx_search_matches(s, count) == 0 && jx_search_matches(s, JX_NONE) == 0);

    jx_search_free(s);
    jx_doc_release(doc);
    return 0;
}
