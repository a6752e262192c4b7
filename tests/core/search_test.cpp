#include <gtest/gtest.h>
#include <locale.h>
// GoogleTest pulls in <regex.h>, whose GNU part declares a struct of the same name.
#define re_registers onig_re_registers
#include <oniguruma.h>
#undef re_registers

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwctype>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "alloc.h"
#include "search_int.h"
#include "test_util.h"

namespace {

using jxtest::Doc;
using Ids = std::vector<uint32_t>;

struct Opts {
    bool match_case = false, regex = false;
    int scope = JX_SCOPE_ALL;
    uint32_t max = 0;
};

struct Search {
    JxSearch *s;
    std::string err;
    Search(JxDoc *d, const std::string &q, Opts o = {}, size_t err_size = 256) {
        JxSearchOptions so{uint8_t(o.match_case), uint8_t(o.regex), uint8_t(o.scope), o.max};
        std::string buf(err_size ? err_size : 1, '#');
        s = jx_search_new(d, q.data(), q.size(), &so, buf.data(), err_size);
        if (err_size) err = buf.c_str();
    }
    ~Search() { jx_search_free(s); }
    operator JxSearch *() const { return s; }
};

Ids hits_of(const JxSearch *s) {
    Ids out;
    for (uint32_t i = 0; i < jx_search_count(s); ++i) out.push_back(jx_search_hit(s, i));
    return out;
}

Ids run(JxDoc *d, const std::string &q, Opts o = {}) {
    Search s(d, q, o);
    EXPECT_TRUE(s.s) << s.err;
    EXPECT_EQ(jx_search_run(s, nullptr), JX_OK);
    EXPECT_TRUE(jx_search_finished(s));
    return hits_of(s);
}

// ---- the naive model: decode every key and value, fold, compare ----

std::string text_of(const JxDoc *d, uint32_t id, bool key) {
    size_t n = key ? jx_key_text(d, id, nullptr, 0) : jx_val_text(d, id, nullptr, 0);
    std::string t(n + 1, 0);
    key ? jx_key_text(d, id, t.data(), t.size()) : jx_val_text(d, id, t.data(), t.size());
    t.resize(n);
    return t;
}

// Folds A-Z and U+00C0..U+017F with the C library's lower-case table, leaving the rest alone.
std::string fold(const std::string &t) {
    static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    std::string out;
    for (size_t i = 0; i < t.size();) {
        auto c = uint8_t(t[i]);
        if (c >= 0xC3 && c <= 0xC5 && i + 1 < t.size() && (uint8_t(t[i + 1]) & 0xC0) == 0x80) {
            wint_t cp = towlower_l(wint_t((c & 0x1F) << 6 | (t[i + 1] & 0x3F)), utf8);
            if (cp < 0x80)
                out += char(cp);
            else
                out += {char(0xC0 | cp >> 6), char(0x80 | (cp & 0x3F))};
            i += 2;
        } else {
            out += char(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
            ++i;
        }
    }
    return out;
}

struct Model {
    const JxDoc *d;
    std::string q;
    Opts o;
    OnigRegex re = nullptr;
    Model(const JxDoc *doc, const std::string &query, Opts opts) : d(doc), q(query), o(opts) {
        OnigErrorInfo ei;
        auto *p = reinterpret_cast<const OnigUChar *>(q.data());
        if (!o.regex) return;
        EXPECT_EQ(onig_new(&re, p, p + q.size(), o.match_case ? ONIG_OPTION_NONE : ONIG_OPTION_IGNORECASE,
                           ONIG_ENCODING_UTF8, ONIG_SYNTAX_ONIGURUMA, &ei),
                  ONIG_NORMAL);
    }
    ~Model() {
        if (re) onig_free(re);
    }
    bool text(const std::string &t) const {
        if (o.regex) {
            auto *p = reinterpret_cast<const OnigUChar *>(t.data());
            return onig_search(re, p, p + t.size(), p, p + t.size(), nullptr, ONIG_OPTION_NONE) >= 0;
        }
        return o.match_case ? t.find(q) != t.npos : fold(t).find(fold(q)) != t.npos;
    }
    bool node(uint32_t id) const {
        if (o.scope != JX_SCOPE_VALUES && jx_has_key(d, id) && text(text_of(d, id, true))) return true;
        return o.scope != JX_SCOPE_KEYS && jx_type(d, id) > JX_ARRAY && text(text_of(d, id, false));
    }
    Ids hits() const {
        Ids out;
        for (uint32_t id = 0; id < jx_doc_count(d); ++id)
            if (node(id)) out.push_back(id);
        return out;
    }
};

// ---- random documents ----

const char *const kPieces[] = {"json", "JSON",    "Json",    "a",    "B",    "x",    "i",     "I",
                               "is",   "IS",      "ß",       "SS",   "é",    "É",    "İ",     "ı",
                               "Ÿ",    "ÿ",       "Ŀ",       "ŀ",    "Ā",    " ",    "87",    "ru",
                               "\\n",  "\\u00c9", "\\u0130", "\\\"", "\\\\", "\xFF", "\xC3(", "\xE0\x80x"};
const char *const kIdents[] = {"json", "JSON", "x", "i", "I", "é", "İ", "$", "_"};

struct Gen {
    std::mt19937 rng;
    std::string out;
    int nodes = 0;
    size_t pick(size_t n) { return rng() % n; }
    void str(char q) {
        out += q;
        for (size_t i = pick(5); i-- > 0;) out += kPieces[pick(std::size(kPieces))];
        out += q;
    }
    void key() {
        if (pick(6) == 0) {
            for (size_t i = 1 + pick(3); i-- > 0;) out += kIdents[pick(std::size(kIdents))];
        } else {
            str(pick(5) ? '"' : '\'');
        }
        out += ':';
    }
    void value(int depth) {
        ++nodes;
        size_t k = depth == 0 ? pick(2) : depth > 3 || nodes > 1500 ? 2 + pick(6) : pick(8);
        if (k < 2) {
            out += k ? '[' : '{';
            for (size_t i = depth ? pick(6) : 120; i-- > 0;) {
                if (k == 0) key();
                value(depth + 1);
                if (i) out += ',';
            }
            out += k ? ']' : '}';
        } else if (k < 5) {
            str(pick(4) ? '"' : '\'');
        } else {
            const char *const scalars[] = {"true", "false", "null", "9876", "-1.5e3", "0x1F", "Infinity"};
            out += scalars[pick(std::size(scalars))];
        }
    }
};

std::vector<std::string> queries(const JxDoc *d, std::mt19937 &rng, bool regex) {
    if (regex) return {"j.on", "^[a-z]+$", "\\d{2}", "é|ß", "x*", "İ", "^$", "S{2}", "\n", ".\\\\."};
    std::vector<std::string> q = {"json", "i", "is", "İS", "ß",  "ss", "É",
                                  "ÿ",    "Ŀ", "87", "ru", "\n", "\"", "a B"};
    for (int i = 0; i < 12; ++i) {  // pieces of the document's own texts, cut on character boundaries
        uint32_t id = rng() % jx_doc_count(d);
        std::string t = text_of(d, id, jx_has_key(d, id) && rng() % 2);
        size_t b = t.empty() ? 0 : rng() % t.size(), e = b + 1 + rng() % 4;
        while (b > 0 && (uint8_t(t[b]) & 0xC0) == 0x80) --b;
        while (e < t.size() && (uint8_t(t[e]) & 0xC0) == 0x80) ++e;
        t = t.substr(b, e - b);
        if (!t.empty() && t.find("\xEF\xBF\xBD") == t.npos) q.push_back(rng() % 2 ? t : fold(t));
    }
    return q;
}

void agree_with_model(bool regex) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        Gen g{std::mt19937(seed), {}};
        g.value(0);
        Doc d(g.out);
        ASSERT_TRUE(d.doc && jx_doc_count(d) > 1) << g.out;
        for (const std::string &q : queries(d, g.rng, regex))
            for (int scope = 0; scope < 3; ++scope)
                for (int cs = 0; cs < 2; ++cs)
                    for (int words = 0; words < (regex ? 1 : 2); ++words) {
                        jx__search_force_words(words);
                        Opts o{bool(cs), regex, scope};
                        Search s(d, q, o);
                        jx__search_force_words(false);
                        Model m(d, q, o);
                        ASSERT_EQ(jx_search_run(s, nullptr), JX_OK);
                        Ids want = m.hits();
                        ASSERT_EQ(hits_of(s), want) << "seed " << seed << " query '" << q << "' scope "
                                                    << scope << " case " << cs << " words " << words;
                        for (uint32_t id = 0; id < jx_doc_count(d); ++id) {
                            bool hit = std::binary_search(want.begin(), want.end(), id);
                            ASSERT_EQ(jx_search_matches(s, id), int(hit)) << q << " node " << id;
                            if (regex) continue;
                            // Highlighting finds something exactly where the run found a hit.
                            std::string k = text_of(d, id, true), v = text_of(d, id, false);
                            uint32_t r =
                                jx_search_ranges(s, k.data(), uint32_t(k.size()), 1, nullptr, nullptr, 0) +
                                (jx_type(d, id) > JX_ARRAY ? jx_search_ranges(s, v.data(), uint32_t(v.size()),
                                                                              0, nullptr, nullptr, 0)
                                                           : 0);
                            ASSERT_EQ(r > 0, hit) << q << " node " << id;
                        }
                    }
    }
}

}  // namespace

// Runs first among the regular-expression tests: Oniguruma's one-time start under contention.
TEST(SearchRegexStart, SearchesMadeTogetherShareOneInitialisation) {
    Doc d(R"({"alpha":"beta"})");
    std::vector<std::thread> ts;
    std::atomic<int> made{0};
    for (int i = 0; i < 4; ++i)
        ts.emplace_back([&] { made += Search(d, "b.ta", {false, true}).s != nullptr; });
    for (auto &t : ts) t.join();
    EXPECT_EQ(made, 4);
    EXPECT_EQ(run(d, "B.TA", {false, true}), Ids{1});
}

TEST(SearchModel, PlainSearchAgreesWithNaiveSearchOnRandomDocuments) { agree_with_model(false); }
TEST(SearchModel, RegexSearchAgreesWithOnigurumaOnDecodedText) { agree_with_model(true); }

TEST(SearchModel, RecordsIncludingUnreadableOnesAreSearchedAsWritten) {
    Doc d("{\"a\":\"İx\"}\n[1, tru\n\"É\"\n", false, true);
    for (std::string q : {"ix", "tru", "é", "1"})
        for (int cs = 0; cs < 2; ++cs) EXPECT_EQ(run(d, q, {bool(cs)}), Model(d, q, {bool(cs)}).hits()) << q;
}

struct SearchCase {
    const char *doc, *query;
    Opts o;
    Ids want;
};

TEST(SearchCases, FoldingScopesAndWhatIsSearched) {
    const SearchCase cases[] = {
        {R"({"k1":"json","k2":"Json","k3":"JSON","k4":"jso n"})", "JSON", {}, {1, 2, 3}},
        {R"({"k1":"json","k2":"Json","k3":"JSON","k4":"jso n"})", "JSON", {true}, {3}},
        {R"({"é":"É","x":"ß","SS":"y"})", "é", {}, {1}},  // key and value match: one hit
        {R"({"é":"É","x":"ß","SS":"y"})", "É", {}, {1}},
        {R"({"é":"É","x":"ß","SS":"y"})", "ß", {}, {2}},
        {R"({"é":"É","x":"ß","SS":"y"})", "ss", {}, {3}},
        {R"(["İa","İS","Dİ",{"İ":0},"ÿŸ","Ŀŀ"])", "i", {}, {1, 2, 3, 5}},
        {R"(["İa","İS","Dİ",{"İ":0},"ÿŸ","Ŀŀ"])", "is", {}, {2}},   // U+0130 then a second letter
        {R"(["İa","İS","Dİ",{"İ":0},"ÿŸ","Ŀŀ"])", "di", {}, {3}},   // U+0130 as the second letter
        {R"(["İa","İS","Dİ",{"İ":0},"ÿŸ","Ŀŀ"])", "ia\"", {}, {}},  // never runs into the closing quote
        {R"(["İa","İS","Dİ",{"İ":0},"ÿŸ","Ŀŀ"])", "ÿÿ", {}, {6}},
        {R"(["İa","İS","Dİ",{"İ":0},"ÿŸ","Ŀŀ"])", "ŀŀ", {}, {7}},
        {R"(["İa","İS","Dİ",{"İ":0},"ÿŸ","Ŀŀ"])", "İ", {true}, {1, 2, 3, 5}},
        {R"({"a":true,"b":9876,"c":{"ru":1},"d":[87]})", "ru", {}, {1, 4}},
        {R"({"a":true,"b":9876,"c":{"ru":1},"d":[87]})", "ru", {false, false, JX_SCOPE_VALUES}, {1}},
        {R"({"a":true,"b":9876,"c":{"ru":1},"d":[87]})", "ru", {false, false, JX_SCOPE_KEYS}, {4}},
        {R"({"a":true,"b":9876,"c":{"ru":1},"d":[87]})", "87", {}, {2, 6}},
        {R"({"a":true,"b":9876,"c":{"ru":1},"d":[87]})", "{", {}, {}},
        {R"({"a":true,"b":9876,"c":{"ru":1},"d":[87]})", "\"ru\"", {}, {}},
        {R"({"k":"key","v":"k"})", "k", {false, false, JX_SCOPE_KEYS}, {1}},
        {R"({"k":"key","v":"k"})", "k", {false, false, JX_SCOPE_VALUES}, {1, 2}},
        {R"({"line":"a\nb","raw":"a\\nb","\u00c9t\u00e9":0})", "\n", {}, {1}},
        {R"({"line":"a\nb","raw":"a\\nb","\u00c9t\u00e9":0})", "\\n", {}, {2}},
        {R"({"line":"a\nb","raw":"a\\nb","\u00c9t\u00e9":0})", "été", {}, {3}},
        {R"({"line":"a\nb","raw":"a\\nb","\u00c9t\u00e9":0})", "u00", {}, {}},
        {R"({"line":"a\nb","raw":"a\\nb","\u00c9t\u00e9":0})", "^\\p{Lu}", {true, true}, {3}},
        {"[\"a\xFF"
         "b\"]",
         "a.b",
         {true, true},
         {1}},  // invalid UTF-8 reaches Oniguruma repaired
    };
    for (const SearchCase &c : cases)
        EXPECT_EQ(run(Doc(c.doc), c.query, c.o), c.want) << c.doc << " " << c.query;
}

TEST(SearchCases, LongEscapedTextsOutgrowTheScratchBuffer) {
    std::string big(3000, 'z');
    Doc d("[\"" + big + "\\u00e9end\", {\"" + big + "\\tK\": 1}]");
    EXPECT_EQ(run(d, "éEND"), Ids{1});
    EXPECT_EQ(run(d, "\tk"), Ids{3});
    Search s(d, "éend");
    EXPECT_TRUE(jx_search_matches(s, 1));
    EXPECT_FALSE(jx_search_matches(s, 3));
}

TEST(SearchSteps, NextWrapsAndIndexOfBisects) {
    Doc d(R"([0,0,"x",0,0,"x",0,"x"])");
    Search s(d, "x");
    ASSERT_EQ(jx_search_run(s, nullptr), JX_OK);
    ASSERT_EQ(hits_of(s), (Ids{3, 6, 8}));
    const struct {
        uint32_t node;
        int back;
        uint32_t want;
    } steps[] = {{JX_NONE, 0, 0}, {0, 0, 0}, {3, 0, 1}, {4, 0, 1}, {8, 0, 0},
                 {3, 1, 2},       {4, 1, 0}, {6, 1, 0}, {7, 1, 1}, {JX_NONE, 1, 2}};
    for (auto st : steps)
        EXPECT_EQ(jx_search_next(s, st.node, st.back), st.want) << st.node << " " << st.back;
    EXPECT_EQ(jx_search_index_of(s, 6), 1u);
    EXPECT_EQ(jx_search_index_of(s, 5), JX_NONE);
    EXPECT_EQ(jx_search_index_of(s, JX_NONE), JX_NONE);
    EXPECT_EQ(jx_search_hit(s, 3), JX_NONE);
    Search none(d, "y");
    jx_search_run(none, nullptr);
    EXPECT_EQ(jx_search_next(none, 3, 0), JX_NONE);
    EXPECT_EQ(jx_search_next(nullptr, 3, 1), JX_NONE);
}

TEST(SearchErrors, BadQueriesMakeNoSearchAndSayWhy) {
    Doc d("[1]");
    EXPECT_EQ(Search(d, "").s, nullptr);
    EXPECT_EQ(Search(d, "").err, "");
    EXPECT_EQ(Search(nullptr, "x").s, nullptr);
    Search paren(d, "(", {false, true});
    EXPECT_EQ(paren.s, nullptr);
    EXPECT_EQ(paren.err, "end pattern with unmatched parenthesis");
    EXPECT_EQ(Search(d, "a\xFF", {false, true}).err, "invalid code point value");
    EXPECT_EQ(Search(d, "\xED\xA0\x80", {false, true}).err, "invalid code point value");  // a surrogate
    EXPECT_NE(Search(d, "a\xFF").s, nullptr);  // plain text takes any bytes
    // Messages are cut on a character boundary.
    EXPECT_EQ(Search(d, "\\k<éé>", {false, true}, 256).err, "undefined name <éé> reference");
    EXPECT_EQ(Search(d, "\\k<éé>", {false, true}, 21).err, "undefined name <éé");
    EXPECT_EQ(Search(d, "\\k<éé>", {false, true}, 20).err, "undefined name <é");
}

TEST(SearchRanges, MatchesInsideOneTextSkipEmptyOnes) {
    Doc d("[1]");
    uint32_t st[4], len[4];
    Search star(d, "x*", {true, true});
    EXPECT_EQ(jx_search_ranges(star, "axxb", 4, 0, st, len, 4), 1u);
    EXPECT_EQ(st[0], 1u);
    EXPECT_EQ(len[0], 2u);
    Search b(d, "b", {true, true});
    EXPECT_EQ(jx_search_ranges(b,
                               "a\xFF"
                               "b",
                               3, 0, st, len, 4),
              1u);  // bad bytes keep their offsets
    EXPECT_EQ(st[0], 2u);
    Search plain(d, "json", {false, false, JX_SCOPE_VALUES});
    EXPECT_EQ(jx_search_ranges(plain, "JSON json İJSON", 16, 0, st, len, 2), 3u);
    EXPECT_EQ((Ids{st[0], len[0], st[1], len[1]}), (Ids{0, 4, 5, 4}));
    EXPECT_EQ(jx_search_ranges(plain, "json", 4, 1, st, len, 4), 0u);  // keys are not searched
    EXPECT_EQ(jx_search_ranges(plain, nullptr, 4, 0, st, len, 4), 0u);
    // Part of a character marks the whole character; two matches inside one are one.
    Search lead(d, "\xC7", {true}), cont(d, "\x82", {true});
    EXPECT_EQ(jx_search_ranges(lead, "a\xC7\xBE" "b", 4, 0, st, len, 4), 1u);
    EXPECT_EQ((Ids{st[0], len[0]}), (Ids{1, 2}));
    EXPECT_EQ(jx_search_ranges(cont, "\xE2\x82\x82\xE2\x82\xAC", 6, 0, st, len, 4), 2u);
    EXPECT_EQ((Ids{st[0], len[0], st[1], len[1]}), (Ids{0, 3, 3, 3}));
    std::string big = std::string(2000, 'a') + "Json";  // copied on the heap
    EXPECT_EQ(jx_search_ranges(plain, big.data(), uint32_t(big.size()), 0, st, len, 4), 1u);
    EXPECT_EQ(st[0], 2000u);
}

// A document of many nodes: progress batches end at a million nodes and at node chunk boundaries.
class SearchRun : public ::testing::Test {
protected:
    static constexpr uint32_t kElems = 1100000;
    static inline JxDoc *big = nullptr;
    static void SetUpTestSuite() {
        std::string t = "[";
        for (uint32_t i = 0; i < kElems; ++i) t += i ? ",0" : "0";
        big = jxtest::parse(t + "]");
    }
    static void TearDownTestSuite() { jx_doc_release(big); }
    struct Calls {
        std::vector<std::pair<uint64_t, uint64_t>> seen;
        uint32_t cancel = 0;
        bool cancel_at_first = false;
        jx_progress p{&Calls::note, this, &cancel};
        static void note(void *ctx, uint64_t done, uint64_t total) {
            auto *c = static_cast<Calls *>(ctx);
            c->seen.emplace_back(done, total);
            if (c->cancel_at_first) __atomic_store_n(&c->cancel, 1u, __ATOMIC_RELAXED);
        }
    };
};

TEST_F(SearchRun, ReportsProgressPerBatchAndFillsManyHitChunks) {
    Search s(big, "0");
    Calls c;
    ASSERT_EQ(jx_search_run(s, &c.p), JX_OK);
    uint64_t size = jx_doc_size(big);
    using P = std::pair<uint64_t, uint64_t>;
    EXPECT_EQ(c.seen,
              (std::vector<P>{
                  {jx_val_offset(big, 1000000), size}, {jx_val_offset(big, 1 << 20), size}, {size, size}}));
    ASSERT_EQ(jx_search_count(s), kElems);
    for (uint32_t i = 0; i < kElems; ++i) ASSERT_EQ(jx_search_hit(s, i), i + 1);
    EXPECT_FALSE(jx_search_capped(s));
}

TEST_F(SearchRun, CancelStopsAtTheNextBatchAndKeepsHits) {
    Search s(big, "0");
    Calls c;
    c.cancel_at_first = true;
    EXPECT_EQ(jx_search_run(s, &c.p), JX_CANCELLED);
    EXPECT_EQ(jx_search_run(s, &c.p), JX_REFUSED);  // once only
    EXPECT_EQ(jx_search_count(s), 999999u);
    EXPECT_EQ(jx_search_hit(s, 999998), 999999u);
    EXPECT_FALSE(jx_search_finished(s));
    Search r(big, "^0$", {true, true});
    EXPECT_EQ(jx_search_run(r, &c.p), JX_CANCELLED);  // already set: nothing is visited
    EXPECT_EQ(jx_search_count(r), 0u);
}

TEST_F(SearchRun, CapStopsTheRunAsFinished) {
    Search s(big, "0", {false, false, 0, 3});
    EXPECT_EQ(jx_search_run(s, nullptr), JX_OK);
    EXPECT_EQ(hits_of(s), (Ids{1, 2, 3}));
    EXPECT_TRUE(jx_search_capped(s));
    EXPECT_TRUE(jx_search_finished(s));
}

TEST_F(SearchRun, ReaderSeesOnlyStoredHitsWhileTheRunFills) {
    Search s(big, "0", {false, true});  // the slower search gives the reader more to watch
    std::thread worker([&] { jx_search_run(s, nullptr); });
    uint32_t last = 0, checks = 0;
    while (!jx_search_finished(s)) {
        uint32_t n = jx_search_count(s);
        ASSERT_GE(n, last);
        last = n;
        if (n == 0) continue;
        ASSERT_EQ(jx_search_hit(s, n - 1), n);
        ASSERT_EQ(jx_search_index_of(s, n), n - 1);
        if (n >= 2) {
            ASSERT_EQ(jx_search_next(s, n, 1), n - 2);  // stable while later hits arrive
        }
        ASSERT_TRUE(jx_search_matches(s, n));
        ++checks;
    }
    worker.join();
    EXPECT_EQ(jx_search_count(s), kElems);
    EXPECT_GT(checks, 0u);
}

TEST_F(SearchRun, ByteMarkReportsInsideLongValues) {
    std::string t = "[";
    for (char c : {'a', 'b', 'c', 'd'})
        t += std::string(t.size() > 1 ? ",\"" : "\"") + std::string(6 << 20, c) + "\"";
    Doc d(t + "]");
    Calls c;
    Search s(d, "dd");
    ASSERT_EQ(jx_search_run(s, &c.p), JX_OK);
    EXPECT_EQ(hits_of(s), Ids{4});
    ASSERT_EQ(c.seen.size(), 2u);
    EXPECT_EQ(c.seen[0].first, jx_val_offset(d, 4));  // the first value starting past 16 MiB
}

// The run waits in its first progress call until the test lets it go, so that the
// test's thread acts while the run is certainly under way.
struct Gate {
    std::atomic<int> step{0};  // 1: the run waits in the callback; 2: it may go on
    jx_progress p{&Gate::wait, this, nullptr};
    static void wait(void *ctx, uint64_t, uint64_t) {
        auto *g = static_cast<Gate *>(ctx);
        int idle = 0;
        if (!g->step.compare_exchange_strong(idle, 1)) return;
        while (g->step.load() != 2) std::this_thread::yield();
    }
    void await_run() {
        while (step.load() != 1) std::this_thread::yield();
    }
};

TEST_F(SearchRun, RunIsRefusedWhileRunningAndAfterwards) {
    Search s(big, "0");
    Gate g;
    int first = -1;
    std::thread worker([&] { first = jx_search_run(s, &g.p); });
    g.await_run();
    EXPECT_EQ(jx_search_run(s, nullptr), JX_REFUSED);
    EXPECT_EQ(jx_search_count(s), 999999u);
    g.step = 2;
    worker.join();
    EXPECT_EQ(first, JX_OK);
    EXPECT_EQ(jx_search_run(s, nullptr), JX_REFUSED);
    EXPECT_EQ(jx_search_count(s), kElems);
}

TEST_F(SearchRun, FreeDuringTheRunLeavesTheFreeingToTheRun) {
    JxSearch *s = jx_search_new(big, "0", 1, nullptr, nullptr, 0);
    Gate g;
    int r = -1;
    std::thread worker([&] { r = jx_search_run(s, &g.p); });
    g.await_run();
    jx_search_free(s);
    jx_search_free(s);  // a second call during the run does nothing
    g.step = 2;
    worker.join();
    EXPECT_EQ(r, JX_CANCELLED);  // stopped at once; the sanitizers check that it freed the search once
}

TEST(SearchLife, FreeRacingTheEndOfTheRunFreesOnce) {
    using Clock = std::chrono::steady_clock;
    std::string t = "[";
    for (int i = 0; i < 2000; ++i) t += i ? ",\"ab\"" : "\"ab\"";
    Doc d(t + "]");
    std::mt19937 rng(11);
    for (uint8_t regex : {0, 1}) {  // the regular expression looks for retirement at every node
        JxSearchOptions o{0, regex, 0, 0};
        std::vector<Clock::duration> rests;  // from the first hit to the run's end
        for (int i = 0; i < 110; ++i) {
            JxSearch *s = jx_search_new(d, "b", 1, &o, nullptr, 0);
            std::atomic<int> r{-1};
            std::thread worker([&r, s] { r = jx_search_run(s, nullptr); });
            while (jx_search_count(s) == 0) std::this_thread::yield();  // begun: the first node is a hit
            auto begun = Clock::now();
            if (i < 9) {  // measure first, then free anywhere in the rest of the run
                worker.join();
                rests.push_back(Clock::now() - begun);
                std::sort(rests.begin(), rests.end());
            } else {
                for (auto until = begun + rests[4] * int(rng() % 100) / 100; Clock::now() < until;) {
                }
            }
            jx_search_free(s);
            if (worker.joinable()) worker.join();
            EXPECT_TRUE(r == JX_OK || r == JX_CANCELLED) << r;
        }
    }
}

TEST(SearchMemory, FailuresAreReportedAndLeaveReadableHits) {
    Doc d("[\"\\u0041" + std::string(600, 'q') + "\"]");
    for (uint64_t n = 1;; ++n) {  // every allocation of a new search fails once in turn
        jx__alloc_fail_at(n, false);
        Search s(d, "aq");
        jx__alloc_fail_at(0, false);
        if (s.s) break;
        EXPECT_EQ(s.err, "out of memory");
    }
    Search s(d, "aq");
    jx__alloc_fail_at(1, true);
    EXPECT_FALSE(jx_search_matches(s, 1));  // the escaped value cannot be decoded
    EXPECT_EQ(jx_search_ranges(s, std::string(2000, 'a').data(), 2000, 0, nullptr, nullptr, 0), 0u);
    EXPECT_EQ(jx_search_run(s, nullptr), JX_NO_MEMORY);
    jx__alloc_fail_at(0, false);
    EXPECT_FALSE(jx_search_finished(s));

    std::string t = "[";
    for (int i = 0; i < 70000; ++i) t += i ? ",1" : "1";
    Doc many(t + "]");
    Search m(many, "1");
    jx__alloc_fail_at(2, false);  // the second chunk of hits
    EXPECT_EQ(jx_search_run(m, nullptr), JX_NO_MEMORY);
    jx__alloc_fail_at(0, false);
    EXPECT_EQ(jx_search_count(m), 65536u);
    EXPECT_EQ(jx_search_hit(m, 65535), 65536u);
    EXPECT_FALSE(jx_search_finished(m));
}

TEST(SearchRunEmpty, EmptyDocumentFinishesWithoutHits) {
    Doc d("  ");
    Search s(d, "x");
    ASSERT_TRUE(s.s);
    EXPECT_EQ(jx_search_run(s, nullptr), JX_OK);
    EXPECT_TRUE(jx_search_finished(s));
    EXPECT_EQ(jx_search_count(s), 0u);
    EXPECT_EQ(jx_search_run(nullptr, nullptr), JX_NO_MEMORY);
}
