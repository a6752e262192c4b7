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

#include "literals_int.h"
#include "search_int.h"
#include "test_util.h"

namespace {

using jxtest::Doc;
using Ids = std::vector<uint32_t>;

struct Opts {
    bool match_case = false, regex = false;
    int scope = JX_SCOPE_ALL;
    uint32_t max = 0;
    bool words = false;  // scan with the portable word test instead of the vector unit
};

struct Search {
    JxSearch *s;
    std::string err;
    Search(JxDoc *d, const std::string &q, Opts o = {}, size_t err_size = 256) {
        JxSearchOptions so{uint8_t(o.match_case), uint8_t(o.regex), uint8_t(o.scope), o.max};
        std::string buf(err_size ? err_size : 1, '#');
        jx__search_force_words(o.words);
        s = jx_search_new(d, q.data(), q.size(), &so, buf.data(), err_size);
        jx__search_force_words(false);
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

std::string text_of(const JxDoc *d, uint32_t id, bool key) {
    return jxtest::node_text(key ? jx_key_text : jx_val_text, d, id);
}

// Runs a search and returns its hits, checking that it finished, that the one-node test agrees
// with the run on every node and, for plain text, that highlighting finds something exactly in hits.
Ids run(JxDoc *d, const std::string &q, Opts o = {}) {
    Search s(d, q, o);
    EXPECT_TRUE(s.s) << s.err;
    EXPECT_EQ(jx_search_run(s, nullptr), JX_OK);
    EXPECT_TRUE(jx_search_finished(s));
    Ids hits = hits_of(s);
    EXPECT_EQ(jx_search_capped(s), o.max && hits.size() == o.max) << q;
    for (uint32_t id = 0; id < jx_doc_count(d) && !jx_search_capped(s); ++id) {
        bool hit = std::binary_search(hits.begin(), hits.end(), id);
        EXPECT_EQ(jx_search_matches(s, id), hit) << q << " node " << id;
        std::string k = text_of(d, id, true), v = jx_type(d, id) > JX_ARRAY ? text_of(d, id, false) : "";
        if (o.regex || (k + v).find("\xEF\xBF\xBD") != std::string::npos) continue;  // repaired bytes
        uint32_t marked = jx_search_ranges(s, k.data(), uint32_t(k.size()), 1, nullptr, nullptr, 0) +
                          jx_search_ranges(s, v.data(), uint32_t(v.size()), 0, nullptr, nullptr, 0);
        EXPECT_EQ(marked > 0, hit) << q << " node " << id;
    }
    return hits;
}

// ---- the naive model: decode every key and value, fold, compare ----

// Folds A-Z and U+00C0..U+017F with the C library's lower-case table, leaving the rest alone.
std::string fold(const std::string &t) {
    static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
        auto c = uint8_t(t[i]);
        if (c >= 0xC3 && c <= 0xC5 && i + 1 < t.size() && (uint8_t(t[i + 1]) & 0xC0) == 0x80) {
            wint_t cp = towlower_l(wint_t((c & 0x1F) << 6 | (t[++i] & 0x3F)), utf8);
            out += cp < 0x80 ? std::string(1, char(cp))
                             : std::string{char(0xC0 | cp >> 6), char(0x80 | (cp & 0x3F))};
        } else {
            out += char(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
        }
    }
    return out;
}

Ids model_hits(const JxDoc *d, const std::string &q, Opts o) {
    OnigRegex re = nullptr;
    OnigErrorInfo ei;
    auto *qp = reinterpret_cast<const OnigUChar *>(q.data());
    if (o.regex) {
        EXPECT_EQ(onig_new(&re, qp, qp + q.size(), o.match_case ? ONIG_OPTION_NONE : ONIG_OPTION_IGNORECASE,
                           ONIG_ENCODING_UTF8, ONIG_SYNTAX_ONIGURUMA, &ei),
                  ONIG_NORMAL);
    }
    auto match = [&](const std::string &t) {
        auto *p = reinterpret_cast<const OnigUChar *>(t.data());
        if (re) return onig_search(re, p, p + t.size(), p, p + t.size(), nullptr, ONIG_OPTION_NONE) >= 0;
        return o.match_case ? t.find(q) != t.npos : fold(t).find(fold(q)) != t.npos;
    };
    Ids out;
    for (uint32_t id = 0; id < jx_doc_count(d); ++id)
        if ((o.scope != JX_SCOPE_VALUES && jx_has_key(d, id) && match(text_of(d, id, true))) ||
            (o.scope != JX_SCOPE_KEYS && jx_type(d, id) > JX_ARRAY && match(text_of(d, id, false))))
            out.push_back(id);
    if (re) onig_free(re);
    return out;
}

// ---- random documents ----

const char *const PIECES[] = {
    "json", "JSON",    "Json", "a",        "B",         "x",  "i",   "I",       "is",
    "IS",   "ß",       "SS",   "é",        "É",         "İ",  "ı",   "Ÿ",       "ÿ",
    "Ŀ",    "ŀ",       "Ā",    " ",        "87",        "ru", "\\n", "\\u00c9", "\\u0130",
    "\\\"", "\\\\",    "\xFF", "\xC3(",    "\xE0\x80x", "ſ",  "st",  "ﬅ",       "\xE2\x84\xAA",
    "k",    "\\u212A", "ab",   "\\u0061b", "a\\u0062"};
const char *const IDENTS[] = {"json", "JSON", "x", "i", "I", "é", "İ", "$", "_"};
const char *const SCALARS[] = {"true", "false", "null", "9876", "-1.5e3", "0x1F", "Infinity"};

struct Gen {
    std::mt19937 rng;
    std::string out;
    int nodes = 0;
    size_t pick(size_t n) { return rng() % n; }
    void str(char q) {
        out += q;
        for (size_t i = pick(5); i-- > 0;) out += PIECES[pick(std::size(PIECES))];
        out += q;
    }
    void value(int depth) {
        size_t k = depth == 0 ? pick(2) : depth > 3 || ++nodes > 1500 ? 2 + pick(6) : pick(8);
        if (k >= 2) {
            k < 5 ? str(pick(4) ? '"' : '\'') : void(out += SCALARS[pick(std::size(SCALARS))]);
            return;
        }
        out += k ? '[' : '{';
        for (size_t i = depth ? pick(6) : 120; i-- > 0;) {
            if (k == 0 && pick(6) == 0) {
                for (size_t j = 1 + pick(3); j-- > 0;) out += IDENTS[pick(std::size(IDENTS))];
            } else if (k == 0) {
                str(pick(5) ? '"' : '\'');
            }
            out += k == 0 ? ":" : "";
            value(depth + 1);
            if (i) out += ',';
        }
        out += k ? ']' : '}';
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
                        Opts o{bool(cs), regex, scope, 0, bool(words)};
                        ASSERT_EQ(run(d, q, o), model_hits(d, q, o))
                            << "seed " << seed << " query '" << q << "' scope " << scope << " case " << cs
                            << " words " << words;
                    }
    }
}

// The literals a regular expression's matches hold only decide which keys and values the
// engine is shown: the hits are the engine's on every one, with them or without.
void literals_change_no_hit(uint32_t first_seed, uint32_t seeds) {
    int filtered = 0, hit = 0;
    for (uint32_t seed = first_seed; seed < first_seed + seeds; ++seed) {
        Gen g{std::mt19937(seed), {}};
        g.value(0);
        Doc d(g.out);
        ASSERT_TRUE(d.doc && jx_doc_count(d) > 1) << g.out;
        for (int i = 0; i < 40; ++i) {
            const std::string q = jxtest::random_pattern(g.rng);
            for (int cs = 0; cs < 2; ++cs) {
                if (!Search(d, q, {bool(cs), true}).s) continue;  // it does not compile
                jx_literals lits;
                jx__regex_literals(reinterpret_cast<const uint8_t *>(q.data()), q.size(), cs, &lits);
                filtered += lits.count > 0;
                for (int scope = 0; scope < 3; ++scope) {
                    Opts o{bool(cs), true, scope, 0, i % 2 == 1};
                    Search with(d, q, o);
                    jx__search_no_literals(true);
                    Search without(d, q, o);
                    jx__search_no_literals(false);
                    ASSERT_EQ(jx_search_run(with, nullptr), JX_OK);
                    ASSERT_EQ(jx_search_run(without, nullptr), JX_OK);
                    const Ids h = hits_of(with);
                    hit += lits.count > 0 && !h.empty();
                    ASSERT_EQ(h, hits_of(without))
                        << "seed " << seed << " pattern '" << q << "' scope " << scope << " case " << cs;
                    ASSERT_EQ(h, model_hits(d, q, o)) << "seed " << seed << " pattern '" << q << "'";
                }
            }
        }
    }
    EXPECT_GT(filtered, int(seeds) * 10);
    EXPECT_GT(hit, int(seeds) * 5);
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

}  // namespace

// Runs first among the regular-expression tests: Oniguruma's one-time start under contention.
TEST(SearchStartThreads, SearchesMadeTogetherShareOneInitialisation) {
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

TEST(SearchModel, RegexLiteralsChangeNoHitOnRandomPatterns) { literals_change_no_hit(1, 12); }

TEST(SearchModel, RecordsIncludingUnreadableOnesAreSearchedAsWritten) {
    Doc d("{\"a\":\"İx\"}\n[1, tru\n\"É\"\n", false, true);
    for (std::string q : {"ix", "tru", "é", "1"})
        for (bool cs : {false, true}) EXPECT_EQ(run(d, q, {cs}), model_hits(d, q, {cs})) << q;
}

TEST(SearchCases, FoldingScopesAndWhatIsSearched) {
    // Folding and scopes in general are the model's; these are the corners it rarely reaches.
    const std::string DOTTED = R"(["İa","İS","Dİ",{"İ":0},"ÿŸ","Ŀŀ"])",
                      MIXED = R"({"a":true,"b":9876,"c":{"ru":1},"d":[87]})",
                      ESC = R"({"line":"a\nb","raw":"a\\nb","\u00c9t\u00e9":0})",
                      LONG = R"(["xJSONjsonJSONx","JSONjsonJSOn"])", BIG = std::string(3000, 'z'),
                      BIG_ESC = "[\"" + BIG + "\\u00e9end\", {\"" + BIG + "\\tK\": 1}]";
    const struct {
        std::string doc, query;
        Opts o;
        Ids want;
    } cases[] = {
        {R"({"é":"É"})", "É", {}, {1}},  // key and value match: one hit
        {DOTTED, "i", {}, {1, 2, 3, 5}},
        {DOTTED, "is", {}, {2}},   // U+0130 then a second letter
        {DOTTED, "di", {}, {3}},   // U+0130 as the second letter
        {DOTTED, "ia\"", {}, {}},  // never runs into the closing quote
        {DOTTED, "ÿÿ", {}, {6}},
        {DOTTED, "ŀŀ", {}, {7}},
        {DOTTED, "İ", {true}, {1, 2, 3, 5}},
        {MIXED, "87", {}, {2, 6}},
        {MIXED, "{", {}, {}},
        {MIXED, "\"ru\"", {}, {}},
        {ESC, "u00", {}, {}},
        {ESC, "^\\p{Lu}", {true, true}, {3}},
        {BIG_ESC, "éEND", {}, {1}},  // decoded texts outgrow the scratch buffers
        {BIG_ESC, "\tk", {}, {3}},
        {LONG, "JSONjsonJSO", {true}, {1, 2}},  // past one 8-byte word the tail decides
        {LONG, "JSONjsonJSON", {true}, {1}},
        {LONG, "jsonjsonjson", {}, {1, 2}},
        {"[\"a\377b\"]", "a.b", {true, true}, {1}},             // invalid UTF-8 reaches Oniguruma repaired
        {"[0,0,0,0,0]", "0", {false, false, 0, 3}, {1, 2, 3}},  // the cap ends the run as finished
        {"  ", "x", {}, {}},                                    // no nodes: finished at once
    };
    for (const auto &c : cases)
        EXPECT_EQ(run(Doc(c.doc), c.query, c.o), c.want) << c.doc.substr(0, 60) << " " << c.query;
}

TEST(SearchSteps, NextWrapsAndIndexOfBisects) {
    Doc d(R"([0,0,"x",0,0,"x",0,"x"])");
    Search s(d, "x"), none(d, "y");
    ASSERT_EQ(jx_search_run(s, nullptr), JX_OK);
    ASSERT_EQ(jx_search_run(none, nullptr), JX_OK);
    const Ids hits{3, 6, 8};
    ASSERT_EQ(hits_of(s), hits);
    for (uint32_t node : {0u, 3u, 4u, 6u, 7u, 8u, 9u, JX_NONE}) {
        auto after = std::upper_bound(hits.begin(), hits.end(), node),
             before = std::lower_bound(hits.begin(), hits.end(), node);
        uint32_t next = node == JX_NONE || after == hits.end() ? 0 : uint32_t(after - hits.begin());
        uint32_t prev = node == JX_NONE || before == hits.begin() ? 2 : uint32_t(before - hits.begin() - 1);
        EXPECT_EQ(jx_search_next(s, node, 0), next) << node;  // wrapping to the first hit
        EXPECT_EQ(jx_search_next(s, node, 1), prev) << node;  // and to the last
        EXPECT_EQ(jx_search_index_of(s, node),
                  before != hits.end() && *before == node ? before - hits.begin() : JX_NONE);
        EXPECT_EQ(jx_search_next(none, node, 0), JX_NONE);
    }
    EXPECT_EQ(jx_search_hit(s, 3), JX_NONE);
    EXPECT_EQ(jx_search_next(nullptr, 3, 1), JX_NONE);
}

TEST(SearchErrors, BadQueriesMakeNoSearchAndSayWhy) {
    Doc d("[1]");
    EXPECT_EQ(Search(d, "").s, nullptr);
    EXPECT_EQ(Search(d, "").err, "");
    EXPECT_EQ(Search(nullptr, "x").s, nullptr);
    EXPECT_EQ(Search(d, "(", {false, true}).err, "end pattern with unmatched parenthesis");
    EXPECT_EQ(Search(d, "a\xFF", {false, true}).err, "invalid code point value");
    EXPECT_EQ(Search(d, "\xED\xA0\x80", {false, true}).err, "invalid code point value");  // a surrogate
    EXPECT_NE(Search(d, "a\xFF").s, nullptr);  // plain text takes any bytes
    // Messages are cut on a character boundary.
    EXPECT_EQ(Search(d, "\\k<éé>", {false, true}, 256).err, "undefined name <éé> reference");
    EXPECT_EQ(Search(d, "\\k<éé>", {false, true}, 21).err, "undefined name <éé");
    EXPECT_EQ(Search(d, "\\k<éé>", {false, true}, 20).err, "undefined name <é");
    EXPECT_EQ(jx_search_run(nullptr, nullptr), JX_NO_MEMORY);
}

TEST(SearchRanges, MatchesInsideOneTextInWholeCharacters) {
    Doc d("[1]");
    const Opts VALUES{false, false, JX_SCOPE_VALUES};
    const struct {
        std::string query;
        Opts o;
        std::string text;
        int is_key;
        Ids want;  // start, length, start, length, ...
    } cases[] = {
        {"x*", {true, true}, "axxb", 0, {1, 2}},   // empty matches are skipped
        {"b", {true, true}, "a\377b", 0, {2, 1}},  // bad bytes keep their offsets
        {"json", VALUES, "JSON json İJSON", 0, {0, 4, 5, 4, 12, 4}},
        {"json", VALUES, "json", 1, {}},                                  // keys are not searched
        {"json", VALUES, std::string(2000, 'a') + "Json", 0, {2000, 4}},  // copied on the heap
        {"\xC7", {true}, "a\307\276b", 0, {1, 2}},                        // part of a character marks it all
        {"\x82", {true}, "\xE2\x82\x82\xE2\x82\xAC", 0, {0, 3, 3, 3}},    // and two matches in one are one
    };
    uint32_t st[4], len[4];
    for (const auto &c : cases) {
        Search s(d, c.query, c.o);
        uint32_t n = jx_search_ranges(s, c.text.data(), uint32_t(c.text.size()), c.is_key, st, len, 4);
        Ids got;
        for (uint32_t i = 0; i < n && i < 4; ++i) got.insert(got.end(), {st[i], len[i]});
        EXPECT_EQ(got, c.want) << c.query << " in " << c.text;
    }
    Search s(d, "json", VALUES);
    EXPECT_EQ(jx_search_ranges(s, "JSON json İJSON", 16, 0, st, len, 1), 3u);  // counts past max
    EXPECT_EQ(jx_search_ranges(s, nullptr, 4, 0, st, len, 1), 0u);
}

// A document of many nodes: progress batches end at a million nodes and at node chunk boundaries.
class SearchRun : public ::testing::Test {
protected:
    static constexpr uint32_t ELEMS = 1100000;
    static inline JxDoc *big = nullptr;
    static void SetUpTestSuite() {
        std::string t = "[0";
        for (uint32_t i = 1; i < ELEMS; ++i) t += ",0";
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

// The same document, read by another thread while the run fills.
class SearchRunThreads : public SearchRun {};

TEST_F(SearchRun, ReportsProgressPerBatchAndKeepsEveryHit) {
    Search s(big, "0");
    Calls c;
    ASSERT_EQ(jx_search_run(s, &c.p), JX_OK);
    uint64_t size = jx_doc_size(big);
    using P = std::pair<uint64_t, uint64_t>;
    EXPECT_EQ(c.seen,
              (std::vector<P>{
                  {jx_val_offset(big, 1000000), size}, {jx_val_offset(big, 1 << 20), size}, {size, size}}));
    ASSERT_EQ(jx_search_count(s), ELEMS);
    for (uint32_t i = 0; i < ELEMS; ++i) ASSERT_EQ(jx_search_hit(s, i), i + 1);
}

TEST_F(SearchRun, CancelStopsAtTheNextBatchAndKeepsHits) {
    Search s(big, "0"), r(big, "^0$", {true, true});
    Calls c;
    c.cancel_at_first = true;
    EXPECT_EQ(jx_search_run(s, &c.p), JX_CANCELLED);
    EXPECT_EQ(jx_search_run(s, &c.p), JX_REFUSED);  // a search runs once
    EXPECT_EQ(jx_search_count(s), 999999u);
    EXPECT_EQ(jx_search_hit(s, 999998), 999999u);
    EXPECT_FALSE(jx_search_finished(s));
    EXPECT_EQ(jx_search_run(r, &c.p), JX_CANCELLED);  // already set: nothing is visited
    EXPECT_EQ(jx_search_count(r), 0u);
}

TEST_F(SearchRunThreads, ReaderSeesOnlyStoredHitsWhileTheRunFills) {
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
    EXPECT_EQ(jx_search_count(s), ELEMS);
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

TEST_F(SearchRunThreads, DuringTheRunASecondRunIsRefusedAndFreeingIsLeftToTheRun) {
    JxSearch *s = jx_search_new(big, "0", 1, nullptr, nullptr, 0);
    Gate g;
    int r = -1;
    std::thread worker([&] { r = jx_search_run(s, &g.p); });
    g.await_run();
    EXPECT_EQ(jx_search_run(s, nullptr), JX_REFUSED);
    EXPECT_EQ(jx_search_count(s), 999999u);
    jx_search_free(s);
    jx_search_free(s);  // a second call during the run does nothing
    g.step = 2;
    worker.join();
    EXPECT_EQ(r, JX_CANCELLED);  // stopped at once; the sanitizers check that it freed the search once
}

TEST(SearchLifeThreads, FreeRacingTheEndOfTheRunFreesOnce) {
    using Clock = std::chrono::steady_clock;
    std::string t = "[\"ab\"";
    for (int i = 1; i < 2000; ++i) t += ",\"ab\"";
    Doc d(t + "]");
    std::mt19937 rng(11);
    for (uint8_t regex : {0, 1}) {  // the regular expression looks for retirement at every node
        JxSearchOptions o{0, regex, 0, 0};
        Clock::duration rest{};  // from the first hit to the run's end, measured in the first rounds
        for (int i = 0; i < 100; ++i) {
            JxSearch *s = jx_search_new(d, "b", 1, &o, nullptr, 0);
            std::atomic<int> r{-1};
            std::thread worker([&r, s] { r = jx_search_run(s, nullptr); });
            while (jx_search_count(s) == 0) std::this_thread::yield();  // begun: the first node is a hit
            auto begun = Clock::now();
            if (i < 3) {  // measure first, then free anywhere in the rest of the run
                worker.join();
                rest = std::max(rest, Clock::now() - begun);
            }
            for (auto until = begun + rest * int(rng() % 100) / 100; Clock::now() < until;) {
            }
            jx_search_free(s);
            if (worker.joinable()) worker.join();
            EXPECT_TRUE(r == JX_OK || r == JX_CANCELLED) << r;
        }
    }
}

TEST(SearchMemory, EveryFailedAllocationIsReportedAndLeavesReadableHits) {
    Doc d("[\"\\u0041" + std::string(600, 'q') + "\"]");
    for (Opts o : {Opts{}, Opts{false, true}}) {  // a regular expression with literals to scan for
        const char *q = o.regex ? "(aq|qb|cq)q" : "aq";
        jxtest::each_failure([&](uint64_t n, bool persistent) {  // making a search
            jxtest::fail_at(n, persistent);
            Search s(d, q, o);
            bool failed = jxtest::disarm();
            EXPECT_EQ(s.err, failed ? "out of memory" : "") << n;
            EXPECT_EQ(s.s == nullptr, failed) << n;
            return failed;
        });
    }
    Search s(d, "aq");
    jxtest::fail_at(1, true);
    EXPECT_FALSE(jx_search_matches(s, 1));  // the escaped value cannot be decoded
    EXPECT_EQ(jx_search_ranges(s, std::string(2000, 'a').data(), 2000, 0, nullptr, nullptr, 0), 0u);
    jxtest::disarm();

    std::string t = "[1";  // hits in more than one chunk, and escapes that need decoding
    for (int i = 1; i < 70000; ++i) t += i % 2 ? ",\"\\u0031\"" : ",1";
    Doc many(t + "]");
    jxtest::each_failure([&](uint64_t n, bool persistent) {  // running
        Search m(many, "1");
        jxtest::fail_at(n, persistent);
        int r = jx_search_run(m, nullptr);
        bool failed = jxtest::disarm();
        EXPECT_EQ(r, failed ? JX_NO_MEMORY : JX_OK) << n;
        EXPECT_EQ(jx_search_finished(m), !failed);
        for (uint32_t i = 0; i < jx_search_count(m); ++i) EXPECT_EQ(jx_search_hit(m, i), i + 1);
        return failed;
    });
}
