// Every scanning path this machine runs must read every text into the same document: nodes,
// line index, problems and the tables beside them. The word path, which every build has, is the
// reference; the kernels are also compared directly at every length and alignment.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "doc_int.h"
#include "simd_int.h"
#include "test_util.h"

namespace fs = std::filesystem;

namespace {

std::vector<int> supported_paths() {
    std::vector<int> paths;
    for (int path = 0; path < JX_PATH_COUNT; path++)
        if (jx__path_supported(path)) paths.push_back(path);
    return paths;
}

// Forces a path for the length of a scope.
struct Forced {
    explicit Forced(int path) { EXPECT_TRUE(jx__force_path(path)) << jx__path_name(path); }
    ~Forced() { jx__force_path(-1); }
};

// The whole document as one comparable text, field by field.
std::string dump(const JxDoc *d) {
    if (!d) return "null";
    std::string s = "format " + std::to_string(d->format) + " syntax " + std::to_string(d->syntax) + "@" +
                    std::to_string(d->syntax_offset) + " minified " + std::to_string(d->minified) + " size " +
                    std::to_string(d->size) + " encoding " + d->encoding + "\nnodes";
    for (uint32_t i = 0; i < d->count; i++) {
        const JxNode *n = jx__node(d, i);
        s += " [" + std::to_string(n->key_off) + "," + std::to_string(n->val_off) + "," + std::to_string(n->end) +
             "," + std::to_string(n->parent) + "," + std::to_string(n->info) + "]";
    }
    s += "\nlines";
    for (uint32_t i = 0; i < d->line_count; i++) s += " " + std::to_string(d->line_starts[i]);
    s += "\nproblems";
    for (uint32_t i = 0; i < d->problem_count; i++) {
        const JxStoredProblem &p = d->problems[i];
        s += " [" + std::to_string(p.offset) + "," + std::to_string(p.node) + "," + std::to_string(p.message) + "]";
    }
    s += "\nbig";
    for (uint32_t i = 0; i < d->big_count; i++)
        s += " " + std::to_string(d->big[i].node) + ":" + std::to_string(d->big[i].number);
    s += "\nskip";
    for (uint32_t i = 0; i < d->skip_head_count; i++) {
        uint32_t first = d->skip_heads[i].first;
        uint32_t last = i + 1 < d->skip_head_count ? d->skip_heads[i + 1].first : first;
        s += " " + std::to_string(d->skip_heads[i].node) + ":";
        for (uint32_t k = first; k < last; k++) s += std::to_string(d->skip_samples[k]) + ",";
    }
    return s;
}

std::string dump_parse(const std::string &text, bool strict, bool lines) {
    jxtest::Doc d(jxtest::parse(text, strict, lines));
    return dump(d);
}

// Parses text in every mode under every path and compares with the word path.
void expect_same_everywhere(const std::string &text, const std::string &what) {
    static const std::vector<int> paths = supported_paths();
    for (int mode = 0; mode < 3; mode++) {
        bool strict = mode == 1, lines = mode == 2;
        std::string want;
        {
            Forced f(JX_PATH_WORDS);
            jxtest::Doc d(jxtest::parse(text, strict, lines));
            want = dump(d);
            // The line index is every line feed of the text, whichever part of it was parsed.
            if (const JxDoc *doc = d.doc) {
                std::vector<uint32_t> starts, got(doc->line_starts, doc->line_starts + doc->line_count);
                if (doc->size) starts.push_back(0);
                for (uint32_t i = 0; i < doc->size; i++)
                    if (doc->text[i] == '\n') starts.push_back(i + 1);
                ASSERT_EQ(got, starts) << what << " (mode " << mode << ")";
            }
        }
        for (int path : paths) {
            if (path == JX_PATH_WORDS) continue;
            Forced f(path);
            std::string got = dump_parse(text, strict, lines);
            ASSERT_EQ(got, want) << what << " (" << jx__path_name(path) << ", mode " << mode << ")";
        }
    }
}

TEST(ParsePaths, MachineRunsItsBestAndTheFloor) {
    EXPECT_TRUE(jx__path_supported(JX_PATH_WORDS));
#if defined(__x86_64__)
    EXPECT_TRUE(jx__path_supported(JX_PATH_SSE2));
#endif
    EXPECT_FALSE(jx__force_path(JX_PATH_COUNT));
    int best = supported_paths().back();
    EXPECT_EQ(jx__kernel_path(), best);
    std::printf("scanning paths here:");
    for (int path : supported_paths()) std::printf(" %s", jx__path_name(path));
    std::printf("\n");
}

TEST(ParsePaths, CorpusFilesReadAlike) {
    auto files = jxtest::files_under("corpus");
    if (files.empty()) GTEST_SKIP() << "no corpus folder";
    for (const auto &f : files) expect_same_everywhere(jxtest::read_file(f.string()), f.string());
}

TEST(ParsePaths, ConformanceCasesReadAlike) {
    auto files = jxtest::files_under("conformance");
    if (files.empty()) GTEST_SKIP() << "no conformance folder";
    for (const auto &f : files) {
        expect_same_everywhere(jxtest::read_file(f.string()), f.string());
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// Random documents built to put every boundary of every scan at every position: strings of any
// length with escapes, quotes and raw control bytes anywhere, runs of blanks and digits longer
// than any vector, comments, JSON5 forms, records, and texts cut short anywhere.
class Generator {
public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    std::string document() {
        std::string s;
        int values = below(8) == 0 ? 2 + below(4) : 1;
        for (int i = 0; i < values; i++) {
            if (i) s += below(2) ? "\n" : " ";
            value(s, 0);
        }
        blanks(s);
        if (below(4) == 0) s.resize(below(uint32_t(s.size()) + 1));  // cut short
        if (below(6) == 0) s += "\x01 after a fault" + std::string(below(300), '\n') + "x\r\ny\n";
        return s;
    }

private:
    std::mt19937 rng_;

    int below(uint32_t n) { return int(rng_() % n); }
    // Lengths around the word and block sizes turn up often.
    int length() {
        static const int edges[] = {0, 1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 127, 128, 129};
        return below(2) ? edges[below(sizeof edges / sizeof edges[0])] : below(300);
    }

    void blanks(std::string &s) {
        switch (below(6)) {
            case 0: return;
            case 1: s += ' '; return;
            case 2: s += '\n' + std::string(length(), ' '); return;
            case 3: {
                static const char *const pieces[] = {" ", "\t", "\r", "\n", "\r\n", "        ", "// c\n", "/* c\n */"};
                for (int i = below(12); i > 0; i--) s += pieces[below(8)];
                return;
            }
            case 4: s += std::string(length(), '\t') + "\n"; return;
            default: s += std::string(length(), ' '); return;
        }
    }

    void string(std::string &s, char quote) {
        static const char *const specials[] = {"\\\"", "\\\\", "\\n", "\\u00e9", "\\uD83D\\uDE00", "\\x41", "\\'",
                                               "\\q", "\\u12", "\t", "\n", "\x01", "\x1f", "\xC3\xA9",
                                               "\xFF", "\\\n", "'", "\""};
        s += quote;
        int n = length();
        for (int i = 0; i < n; i++) {
            if (below(40) == 0)
                s += specials[below(sizeof specials / sizeof specials[0])];
            else
                s += char('a' + below(26));
        }
        if (below(30)) s += quote;
    }

    void number(std::string &s) {
        static const char *const forms[] = {"-", "", "", "0.", "1e", "+", ".", "0x1F", "Infinity"};
        s += forms[below(sizeof forms / sizeof forms[0])];
        s += std::string(1 + length() % 70, char('0' + below(10)));
        if (below(2)) s += "." + std::string(1 + length() % 40, '7');
        if (below(4) == 0) s += "e-" + std::string(1 + below(20), '3');
        if (below(20) == 0) s += "x";
    }

    void value(std::string &s, int depth) {
        blanks(s);
        int kind = below(depth > 6 ? 5 : 8);
        if (kind <= 1) {
            string(s, below(6) ? '"' : '\'');
        } else if (kind == 2) {
            number(s);
        } else if (kind == 3) {
            static const char *const words[] = {"true", "false", "null", "tru", "nullx", "falsey", "NaN"};
            s += words[below(7)];
        } else if (kind == 4) {
            s += below(2) ? "[]" : "{}";
        } else {
            bool object = kind == 5;
            s += object ? '{' : '[';
            for (int i = 0, n = below(6); i < n; i++) {
                if (i) s += below(30) ? "," : "";
                if (object) {
                    blanks(s);
                    if (below(8) == 0)
                        s += "key" + std::to_string(i);
                    else
                        string(s, '"');
                    blanks(s);
                    s += ':';
                }
                value(s, depth + 1);
                blanks(s);
            }
            if (below(10) == 0) s += ',';
            if (below(20)) s += object ? '}' : ']';
        }
    }
};

TEST(ParsePaths, RandomDocumentsReadAlike) {
    Generator gen(20250611);
    for (int round = 0; round < 1500; round++) {
        std::string text = gen.document();
        expect_same_everywhere(text, "round " + std::to_string(round) + ": " + text);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// A line index that outgrows its first capacity after the parse stopped, and a string that runs
// past the progress mark.
TEST(ParsePaths, LongTailsReadAlike) {
    expect_same_everywhere("[1, ?" + std::string(100000, '\n') + "x", "lines after a fault");
    std::string rows;
    for (int i = 0; i < 3000; i++) rows += std::string(i % 70, ' ') + "\n";
    expect_same_everywhere("{\"a\": 1} }" + rows, "short lines after a fault");
    expect_same_everywhere("[\"" + std::string(17u << 20, 'x') + "\\n\", 1]", "a string across the progress mark");
}

// Each kernel against the word kernel at every start and length, text end included.
TEST(ParsePaths, KernelsAgreeAtEveryOffset) {
    std::mt19937 rng(7);
    const std::string alphabet = std::string("  \t\r\n\"'\\09a\x01\x1f\xC3\xFF", 16);
    const jx_kernels *words = nullptr;
    {
        Forced f(JX_PATH_WORDS);
        words = jx__kernels();
    }
    for (int path : supported_paths()) {
        Forced f(path);
        const jx_kernels *k = jx__kernels();
        for (int round = 0; round < 400; round++) {
            size_t n = rng() % 300;
            // Mostly one byte class with a few others, so that runs are long.
            char fill = alphabet[rng() % alphabet.size()];
            std::string text(n, fill);
            for (size_t i = 0, m = rng() % 6; i < m && n; i++) text[rng() % n] = alphabet[rng() % alphabet.size()];
            char *buf = jx_buf_alloc(n);
            ASSERT_NE(buf, nullptr);
            std::memcpy(buf, text.data(), n);
            const char *end = buf + n;
            for (size_t at = 0; at <= n; at++) {
                const char *p = buf + at;
                for (unsigned char quote : {'"', '\''}) {
                    const char *a = k->string_stop(p, end + 1, quote), *b = words->string_stop(p, end + 1, quote);
                    ASSERT_EQ(a - buf, b - buf) << jx__path_name(path) << " string " << at << " in " << n;
                }
                ASSERT_EQ(k->blank_end(p) - buf, words->blank_end(p) - buf) << jx__path_name(path) << " at " << at;
                ASSERT_EQ(k->digits_end(p) - buf, words->digits_end(p) - buf) << jx__path_name(path) << " at " << at;
                // A paused scan ends at or past its limit with no stop skipped.
                const char *paused = k->string_stop(p, p, '"');
                ASSERT_TRUE(paused == words->string_stop(p, end + 1, '"') || paused > p) << at;
                ASSERT_LE(paused, words->string_stop(p, end + 1, '"')) << at;
            }
            for (uint32_t room : {1u, 2u, 3u, 1000u}) {
                std::vector<uint32_t> got, want;
                for (size_t i = 0; i < n; i++)
                    if (text[i] == '\n') want.push_back(uint32_t(i + 1));
                const char *p = buf;
                for (int guard = 0; p < end && guard < 1000; guard++) {
                    uint32_t out[1000];
                    uint32_t got_n = k->line_starts(p, end, buf, out, room, &p);
                    ASSERT_LE(got_n, room);
                    got.insert(got.end(), out, out + got_n);
                }
                ASSERT_EQ(got, want) << jx__path_name(path) << " room " << room << " length " << n;
            }
            jx_buf_free(buf);
        }
    }
}

}  // namespace
