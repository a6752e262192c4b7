#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "alloc.h"
#include "chars_int.h"
#include "view_int.h"

namespace jxtest {

JxDoc *parse(std::string_view text, bool strict, bool lines, int *status) {
    char *buf = jx_buf_alloc(text.size());
    if (!buf) return nullptr;
    if (!text.empty()) std::memcpy(buf, text.data(), text.size());
    jx_parse_options opt{};
    opt.strict = strict;
    opt.lines = lines;
    int st = -1;
    JxDoc *doc = jx_parse(buf, text.size(), &opt, nullptr, &st);
    if (status) *status = st;
    return doc;
}

std::string read_file(const std::string &path, bool *ok) {
    std::ifstream in(path, std::ios::binary);
    if (ok) *ok = bool(in);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string shared_path(const std::string &rel) { return std::string(ORVEL_SHARED) + "/" + rel; }

std::vector<std::filesystem::path> files_under(const std::string &rel) {
    namespace fs = std::filesystem;
    std::vector<fs::path> out;
    fs::path root = shared_path(rel);
    if (!fs::exists(root)) return out;
    for (const auto &e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}
std::string sample_path(const std::string &rel) { return std::string(ORVEL_SAMPLES) + "/" + rel; }

std::string problem_message(const JxDoc *doc, uint32_t i) {
    const jx_problem *p = jx_doc_error(doc, i);
    return p ? p->message : "";
}

std::string node_text(size_t (*get)(const JxDoc *, uint32_t, char *, size_t), const JxDoc *d, uint32_t id) {
    std::string s(get(d, id, nullptr, 0) + 1, '#');
    s.resize(get(d, id, s.data(), s.size()));
    return s;
}

void each_failure(const std::function<bool(uint64_t, bool)> &step) {
    for (bool persistent : {false, true}) {
        // The first failing run is enough to report; later ones would repeat it.
        for (uint64_t n = 1; step(n, persistent) && !::testing::Test::HasFailure(); n++)
            ASSERT_LT(n, 100000u) << "the operation never got through";
    }
}

void fail_at(uint64_t n, bool persistent) { jx__alloc_fail_at(n, persistent); }

bool disarm() {
    bool failed = jx__alloc_failed();
    jx__alloc_fail_at(0, false);
    return failed;
}

Runs runs_of(const JxLine &l) {
    Runs out;
    for (uint32_t i = 0; i < l.nruns; i++) {
        const JxRun &r = l.runs[i];
        out.push_back(std::string(l.text + r.start, r.length) + "|" + std::to_string(r.style) +
                      (r.hit ? "|" + std::to_string(r.hit) : ""));
    }
    return out;
}

void expect_sound(const JxLine &l) {
    ASSERT_NE(l.text, nullptr);
    EXPECT_EQ(l.text[l.len], 0);
    uint32_t at = 0;
    for (uint32_t i = 0; i < l.nruns; at += l.runs[i++].length) {
        EXPECT_EQ(l.runs[i].start, at);
        EXPECT_GT(l.runs[i].length, 0u);
        EXPECT_NE(uint8_t(l.text[at]) & 0xC0, 0x80);
    }
    EXPECT_EQ(at, l.len);
    auto p = reinterpret_cast<const unsigned char *>(l.text), end = p + l.len;
    while (p < end) {
        size_t n = *p < 0x80 ? 1 : jx__utf8_len(p, end);
        ASSERT_NE(n, 0u) << "invalid UTF-8 at byte " << (p - reinterpret_cast<const unsigned char *>(l.text));
        p += n;
    }
}

std::string view_state(const JxView *v) {
    if (!v) return "null";
    std::ostringstream o;
    auto list = [&](const char *name, const uint32_t *ids, uint32_t n) {
        o << name;
        for (uint32_t i = 0; i < n; i++) o << ' ' << ids[i];
    };
    o << "mode " << v->mode << " selected " << v->selected << " lines " << v->cursor_line << '/' << v->anchor_line
      << " reveal " << int(v->reveal) << " search " << v->search << " from " << v->search_from << " moved "
      << int(v->moved) << " restored " << int(v->restored) << " typed " << v->type_len << " text " << v->text;
    list(" back", v->back, v->back_count);
    list(" forward", v->forward, v->forward_count);
    o << " open " << jx_rows_open_count(v->rows) << " rows";
    for (uint64_t r = 0; r < jx_rows_count(v->rows); r++) o << ' ' << jx_rows_node(v->rows, r);
    return o.str();
}

namespace {

const char *const PATTERN_LITERALS[] = {
    "ab", "c",   "K",   "k",   "ß", "ss",           "S",    "ſ",    "İ",  "i",  "st", "ﬅ", "fi", "ﬁ", "é",
    "É",  "\\.", "\\n", "x y", "#", "\xE2\x84\xAA", "json", "JSON", "is", "ru", "87"};
const char *const PATTERN_OTHERS[] = {"\\d", "[a-c]",       "[^x]", ".", "\\w",
                                      "\\s", "[[:alpha:]]", "^",    "$", "\\b"};
const char *const QUANTIFIERS[] = {"",    "",      "",     "",   "*",  "+",  "?",
                                   "{2}", "{0,2}", "{1,}", "+?", "??", "*+", "{,2}"};

struct PatternGen {
    std::mt19937 &rng;
    size_t pick(size_t n) { return rng() % n; }
    std::string sequence(int depth) {
        std::string out;
        for (size_t i = 1 + pick(4); i-- > 0;) {
            size_t k = pick(12);
            if (k < 6) {
                out += PATTERN_LITERALS[pick(std::size(PATTERN_LITERALS))];
            } else if (k < 8) {
                out += PATTERN_OTHERS[pick(std::size(PATTERN_OTHERS))];
            } else if (k < 11 && depth < 3) {
                const char *open[] = {"(", "(?:", "(?i:", "(", "(?:"};
                out += open[pick(std::size(open))] + alternation(depth + 1) + ")";
            } else {
                const char *option[] = {"(?i)", "(?x)", "(?-i)", " "};
                out += option[pick(std::size(option))];
                continue;
            }
            out += QUANTIFIERS[pick(std::size(QUANTIFIERS))];
        }
        return out;
    }
    std::string alternation(int depth) {
        std::string out = sequence(depth);
        for (size_t i = pick(3) == 0 ? 1 + pick(2) : 0; i-- > 0;) out += "|" + sequence(depth);
        return out;
    }
};

}  // namespace

std::string random_pattern(std::mt19937 &rng) { return PatternGen{rng}.alternation(0); }

}  // namespace jxtest
