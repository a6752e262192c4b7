#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "rows_int.h"
#include "test_util.h"

namespace {

struct Rows {
    JxRows *r;
    explicit Rows(JxDoc *d) : r(jx_rows_new(d)) {}
    ~Rows() { jx_rows_free(r); }
    operator JxRows *() const { return r; }
};

bool expandable(const JxDoc *d, uint32_t id) { return jx_type(d, id) <= JX_ARRAY && jx_first_child(d, id) != JX_NONE; }

// Everything a caller can observe, compared whole.
struct State {
    std::vector<uint32_t> rows;
    std::vector<bool> open;
    uint64_t open_count;
    bool operator==(const State &) const = default;
};

State state_of(const JxRows *r) {
    State s{{}, {}, jx_rows_open_count(r)};
    for (uint64_t i = 0; i < jx_rows_count(r); ++i) s.rows.push_back(uint32_t(jx_rows_node(r, i)));
    for (uint32_t id = 0; id < jx_doc_count(jx_rows_doc(r)); ++id) s.open.push_back(jx_rows_expanded(r, id));
    return s;
}

// The state as defined: a node has a row when all its ancestors are open.
State expected(const JxDoc *d, const std::vector<bool> &open) {
    State s{{}, open, uint64_t(std::count(open.begin(), open.end(), true))};
    for (uint32_t id = 0; id < open.size(); ++id) {
        bool shown = true;
        for (uint32_t a = jx_parent(d, id); a != JX_NONE && shown; a = jx_parent(d, a)) shown = open[a];
        if (shown) s.rows.push_back(id);
    }
    return s;
}

std::string repeat(const std::string &s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += (i ? "," : "") + s;
    return out;
}

}  // namespace

TEST(RowsBasics, NullEmptyAndOutOfRangeChangeNothing) {
    EXPECT_EQ(jx_rows_new(nullptr), nullptr);
    EXPECT_EQ(jx_rows_node(nullptr, 0), JX_NONE);
    jx_rows_expand_all(nullptr);
    jxtest::Doc empty("");
    Rows e(empty);
    ASSERT_NE(e.r, nullptr);
    jx_rows_default(e);
    jx_rows_reveal(e, 0);
    EXPECT_EQ(jx_rows_count(e), 0u);
    EXPECT_EQ(jx_rows_find(e, 0), JX_NONE);
    jxtest::Doc d("[[1],[2]]");
    Rows r(d);
    State before = state_of(r);
    // 2^32 and 2^32 + 1 would be nodes 0 and 1 if cut to 32 bits.
    for (uint64_t bad : {uint64_t{5}, uint64_t{1} << 32, (uint64_t{1} << 32) + 1, ~uint64_t{0}}) {
        jx_rows_toggle(r, bad);
        jx_rows_expand_subtree(r, bad);
        jx_rows_reveal(r, bad);
        EXPECT_EQ(jx_rows_find(r, bad), JX_NONE);
        EXPECT_EQ(jx_rows_node(r, bad), JX_NONE);
    }
    EXPECT_EQ(state_of(r), before);
}

TEST(RowsBasics, HundredThousandLevelsNeedNoRecursion) {
    const uint32_t depth = 100000;
    jxtest::Doc d(std::string(depth, '[') + std::string(depth, ']'));
    ASSERT_EQ(jx_doc_count(d), depth);
    Rows r(d);
    jx_rows_reveal(r, depth - 1);
    EXPECT_EQ(jx_rows_count(r), depth);
    jx_rows_collapse_subtree(r, 0);
    EXPECT_EQ(jx_rows_count(r) + jx_rows_open_count(r), 1u);
    jx_rows_expand_to_level(r, depth);
    EXPECT_EQ(jx_rows_open_count(r), depth - 1);
}

TEST(RowsBasics, DefaultOpensThreeLevelsUpToFiveThousandNodes) {
    jxtest::Doc small("[" + repeat("[[0]]", 1666) + ",0]");  // 1 + 1,666 * 3 + 1 nodes
    jxtest::Doc large("[" + repeat("[[0]]", 1666) + ",0,0]");
    ASSERT_EQ(jx_doc_count(small), 5000u);
    Rows rs(small), rl(large);
    jx_rows_default(rs);
    jx_rows_default(rl);
    EXPECT_EQ(jx_rows_count(rs), 5000u);
    EXPECT_EQ(jx_rows_count(rl), 1669u);
}

namespace {

struct Gen {
    std::mt19937 g;
    int budget = 0;
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(g); }
    // Objects, arrays (some wide), empty containers and scalars, at most 9 deep.
    std::string value(int depth) {
        static const char *scalars[] = {"1", "\"s\"", "true", "null", "{}", "[]", "-2.5e3", "false"};
        int kind = --budget <= 0 || depth > 8 ? 4 : pick(8);
        if (kind >= 4) return scalars[pick(8)];
        int n = kind == 3 ? pick(90) : pick(6);
        std::string s;
        for (int i = 0; i < n && budget > 0; ++i)
            s += (i ? "," : "") + (kind ? "" : "\"k" + std::to_string(i) + "\":") + value(depth + 1);
        return kind ? "[" + s + "]" : "{" + s + "}";
    }
};

}  // namespace

// Each step is replayed on a plain vector of open flags and the whole
// observable state compared with what those flags define.
TEST(RowsRandom, EveryOperationMatchesANaiveModel) {
    Gen gen{std::mt19937(20240611)};
    unsigned formats = 0;
    for (int doc_no = 0; doc_no < 40; ++doc_no) {
        gen.budget = doc_no % 10 == 9 ? 1500 : 20 + gen.pick(300);  // some past the shrink threshold
        int shape = gen.pick(3);  // one value, JSON Lines, several values
        std::string text = gen.value(0);
        for (int i = 0; shape && i < 1 + gen.pick(8); ++i) text += (shape == 1 ? "\n" : " ") + gen.value(1);
        jxtest::Doc d(text, false, shape == 1);
        uint32_t n = jx_doc_count(d);
        ASSERT_GT(n, 0u) << text;
        formats |= 1u << jx_doc_format(d);
        Rows r(d);
        std::vector<bool> open(n);
        auto level = [&](int lv) {
            for (uint32_t id = 0; id < n; ++id) open[id] = expandable(d, id) && int64_t(jx_depth(d, id)) < lv;
        };
        for (int step = 0; step < 250; ++step) {
            int op = gen.pick(11), lv = gen.pick(7) - 1;
            uint64_t node = gen.pick(10) ? uint64_t(gen.pick(n)) : n + (uint64_t(gen.pick(2)) << 32);
            uint32_t id = node < n ? uint32_t(node) : 0, end = node < n ? jx_end(d, id) : 0;
            bool can = node < n && expandable(d, id);
            switch (op) {
            case 0: jx_rows_expand(r, node); open[id] = open[id] || can; break;
            case 1: jx_rows_collapse(r, node); open[id] = open[id] && node >= n; break;
            case 2: jx_rows_toggle(r, node); open[id] = node < n ? !open[id] && can : open[id]; break;
            case 3:
                jx_rows_expand_subtree(r, node);
                for (uint32_t i = id; can && i < end; ++i) open[i] = open[i] || expandable(d, i);
                break;
            case 4:
                jx_rows_collapse_subtree(r, node);
                std::fill(open.begin() + id, open.begin() + std::max(id, end), false);
                break;
            case 5: jx_rows_expand_to_level(r, lv); level(lv); break;
            case 6: jx_rows_expand_all(r); level(INT32_MAX); break;
            case 7: jx_rows_collapse_all(r); level(1); break;
            case 8: jx_rows_default(r); level(n <= 5000 ? 3 : 1); break;
            default:
                jx_rows_reveal(r, node);
                for (uint32_t a = node < n ? jx_parent(d, id) : JX_NONE; a != JX_NONE; a = jx_parent(d, a)) open[a] = true;
            }
            ASSERT_EQ(state_of(r), expected(d, open)) << "doc " << doc_no << " step " << step << " op " << op;
        }
    }
    EXPECT_EQ(formats, 1u << JX_FORMAT_VALUE | 1u << JX_FORMAT_LINES | 1u << JX_FORMAT_VALUES);
}

namespace {

// 121 nodes (element i at 1 + 3i holding [1,2]): more rows than a new model holds.
const std::string WIDE = "[" + repeat("[1,2]", 40) + "]";

// Every failed run of op must end in the documented state: unchanged, or for a level operation the
// root alone.
template <typename Op>
void under_failures(Op op, bool level_op) {
    jxtest::Doc d(WIDE);
    jxtest::each_failure([&](uint64_t n, bool persistent) {
        Rows r(d);
        jx_rows_expand(r, 16);  // a hidden open node, which the walks must respect
        State before = state_of(r);
        jxtest::fail_at(n, persistent);
        op(r.r);
        bool failed = jxtest::disarm();
        if (failed) {
            EXPECT_EQ(state_of(r), level_op ? expected(d, std::vector<bool>(121)) : before) << n;
        }
        return failed;
    });
}

}  // namespace

TEST(RowsOutOfMemory, NewFailsWithoutLeaks) {
    jxtest::Doc d(WIDE);
    jxtest::each_failure([&](uint64_t n, bool persistent) {
        jxtest::fail_at(n, persistent);
        JxRows *r = jx_rows_new(d);
        bool failed = jxtest::disarm();
        EXPECT_EQ(r == nullptr, failed);
        jx_rows_free(r);
        return failed;
    });
}

// Expansions leave the state unchanged; level operations fall back to the root.
TEST(RowsOutOfMemory, FailedOperationsEndInTheDocumentedState) {
    under_failures([](JxRows *r) { jx_rows_toggle(r, 0); }, false);
    under_failures([](JxRows *r) { jx_rows_expand_subtree(r, 0); }, false);
    under_failures([](JxRows *r) { jx_rows_expand_all(r); }, false);
    under_failures([](JxRows *r) { jx_rows_reveal(r, 50); }, false);  // opens hidden 49, then the root
    under_failures([](JxRows *r) { jx_rows_expand_to_level(r, 3); }, true);
    under_failures([](JxRows *r) { jx_rows_collapse_all(r); }, true);
    under_failures([](JxRows *r) { jx_rows_default(r); }, true);
}

TEST(RowsOutOfMemory, FailedShrinkKeepsEveryRow) {
    jxtest::Doc d("[" + repeat("0", 1200) + "]");
    Rows r(d);
    jx_rows_expand_all(r);
    jxtest::fail_at(1, true);
    jx_rows_collapse(r, 0);
    jxtest::disarm();
    EXPECT_EQ(state_of(r), expected(d, std::vector<bool>(1201)));
    jx_rows_expand(r, 0);
    EXPECT_EQ(jx_rows_count(r), 1201u);
}

// Rows built apart (on a worker, in the window) must be exactly what the level operations make of
// a model in place, whatever its state was; a stopped build gives nothing.
TEST(RowsAtLevel, SameAsTheOperationsAndStoppable) {
    Gen gen{std::mt19937(7)};
    for (int doc_no = 0; doc_no < 12; ++doc_no) {
        gen.budget = 50 + gen.pick(600);
        jxtest::Doc d(gen.value(0));
        for (int level : {-1, 0, 1, 2, 4, 9, JX_ROWS_ALL}) {
            Rows built(nullptr);
            built.r = jx_rows_at_level(d, level, nullptr);
            Rows in_place(d);
            jx_rows_expand(in_place, jx_doc_count(d) - 1);
            level == JX_ROWS_ALL ? jx_rows_expand_all(in_place) : jx_rows_expand_to_level(in_place, level);
            ASSERT_EQ(state_of(built), state_of(in_place)) << doc_no << " level " << level;
        }
    }
    EXPECT_EQ(jx_rows_at_level(nullptr, 1, nullptr), nullptr);

    // Wide enough to reach the checkpoints, which come every million nodes.
    jxtest::Doc wide("[" + repeat("0", 1100000) + "]");
    for (int level : {1, JX_ROWS_ALL}) {
        uint64_t reported = 0;
        uint32_t stop = 0;
        jx_progress progress{[](void *ctx, uint64_t done, uint64_t) { *static_cast<uint64_t *>(ctx) = done; }, &reported,
                             &stop};
        Rows built(nullptr);
        built.r = jx_rows_at_level(wide, level, &progress);
        EXPECT_EQ(jx_rows_count(built), 1100001u);
        EXPECT_GT(reported, 0u);
        stop = 1;
        EXPECT_EQ(jx_rows_at_level(wide, level, &progress), nullptr) << level;
    }
}
