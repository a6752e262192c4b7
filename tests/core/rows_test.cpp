#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "alloc.h"
#include "rows_int.h"
#include "test_util.h"

namespace {

struct Rows {
    JxRows *r;
    explicit Rows(JxDoc *d) : r(jx_rows_new(d)) {}
    ~Rows() { jx_rows_free(r); }
    Rows(const Rows &) = delete;
    Rows &operator=(const Rows &) = delete;
    operator JxRows *() const { return r; }
};

bool expandable(const JxDoc *d, uint32_t id) {
    return jx_type(d, id) <= JX_ARRAY && jx_first_child(d, id) != JX_NONE;
}

// Everything a caller can observe, to compare states whole.
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

// The rows as the definition states them: a node is shown when all its
// ancestors are open.
State expected(const JxDoc *d, const std::vector<bool> &open) {
    State s{{}, open, 0};
    for (uint32_t id = 0; id < open.size(); ++id) {
        s.open_count += open[id];
        bool shown = true;
        for (uint32_t a = jx_parent(d, id); a != JX_NONE && shown; a = jx_parent(d, a)) shown = open[a];
        if (shown) s.rows.push_back(id);
    }
    return s;
}

State root_only(const JxDoc *d) { return expected(d, std::vector<bool>(jx_doc_count(d))); }

std::string repeat(const std::string &s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += (i ? "," : "") + s;
    return out;
}

}  // namespace

TEST(RowsBasics, EmptyDocumentHasNoRowsAndIgnoresEveryOperation) {
    jxtest::Doc d("");
    ASSERT_NE(d.doc, nullptr);
    Rows r(d);
    ASSERT_NE(r.r, nullptr);
    EXPECT_EQ(r.r->row_capacity, 1u);
    jx_rows_default(r);
    jx_rows_expand_all(r);
    jx_rows_expand_to_level(r, 5);
    jx_rows_expand(r, 0);
    jx_rows_reveal(r, 0);
    EXPECT_EQ(jx_rows_count(r), 0u);
    EXPECT_EQ(jx_rows_open_count(r), 0u);
    EXPECT_EQ(jx_rows_node(r, 0), JX_NONE);
    EXPECT_EQ(jx_rows_find(r, 0), JX_NONE);
}

TEST(RowsBasics, NullHandleAndOutOfRangeValuesAreIgnored) {
    EXPECT_EQ(jx_rows_new(nullptr), nullptr);
    EXPECT_EQ(jx_rows_count(nullptr), 0u);
    EXPECT_EQ(jx_rows_node(nullptr, 0), JX_NONE);
    EXPECT_EQ(jx_rows_find(nullptr, 0), JX_NONE);
    jx_rows_expand_all(nullptr);
    jx_rows_free(nullptr);
    jxtest::Doc d("[[1],[2]]");
    Rows r(d);
    State before = state_of(r);
    // 2^32 and 2^32 + 1 would be nodes 0 and 1 if cut to 32 bits.
    for (uint64_t bad : {uint64_t{5}, uint64_t{JX_NONE}, uint64_t{1} << 32, (uint64_t{1} << 32) + 1, ~uint64_t{0}}) {
        jx_rows_expand(r, bad);
        jx_rows_toggle(r, bad);
        jx_rows_expand_subtree(r, bad);
        jx_rows_reveal(r, bad);
        EXPECT_EQ(jx_rows_find(r, bad), JX_NONE);
        EXPECT_EQ(jx_rows_node(r, bad), JX_NONE);
        EXPECT_EQ(jx_rows_expanded(r, bad), 0);
    }
    EXPECT_EQ(state_of(r), before);
}

TEST(RowsExpand, NodesWithoutChildrenAndOpenNodesAreLeftAlone) {
    jxtest::Doc d(R"({"s":"x","o":{},"a":[],"n":[1]})");
    Rows r(d);
    jx_rows_expand(r, 0);
    jx_rows_expand(r, 4);
    State before = state_of(r);
    for (uint32_t id : {1u, 2u, 3u, 5u, 0u, 4u}) jx_rows_expand(r, id);
    EXPECT_EQ(state_of(r), before);
    EXPECT_EQ(jx_rows_open_count(r), 2u);
}

TEST(RowsExpand, CollapseKeepsInnerExpansion) {
    jxtest::Doc d(R"({"p":{"c":[1,2],"x":3},"y":4})");  // 0 {, 1 p, 2 c, 3 1, 4 2, 5 x, 6 y
    Rows r(d);
    jx_rows_expand(r, 0);
    jx_rows_expand(r, 1);
    jx_rows_expand(r, 2);
    jx_rows_collapse(r, 1);
    EXPECT_EQ(state_of(r).rows, (std::vector<uint32_t>{0, 1, 6}));
    jx_rows_toggle(r, 1);
    EXPECT_EQ(state_of(r).rows, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(jx_rows_open_count(r), 3u);
}

TEST(RowsExpand, HiddenNodeGetsItsBitButNoRows) {
    jxtest::Doc d(R"([[[1,2]],3])");  // 0 [, 1 [, 2 [, 3 1, 4 2, 5 3
    Rows r(d);
    jx_rows_expand(r, 2);
    EXPECT_EQ(jx_rows_count(r), 1u);
    EXPECT_EQ(jx_rows_find(r, 3), JX_NONE);
    jx_rows_expand(r, 0);
    EXPECT_EQ(jx_rows_find(r, 3), JX_NONE);
    jx_rows_expand(r, 1);
    EXPECT_EQ(state_of(r).rows, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
}

TEST(RowsReveal, OpensEveryAncestorButNotTheNode) {
    jxtest::Doc d(R"([[[[1]]],2])");
    Rows r(d);
    jx_rows_reveal(r, 0);
    EXPECT_EQ(jx_rows_open_count(r), 0u);
    jx_rows_reveal(r, 3);
    EXPECT_EQ(state_of(r).rows, (std::vector<uint32_t>{0, 1, 2, 3, 5}));
    EXPECT_EQ(jx_rows_expanded(r, 3), 0);
    EXPECT_EQ(jx_rows_open_count(r), 3u);
}

TEST(RowsReveal, HundredThousandLevelsNeedNoRecursion) {
    const int depth = 100000;
    jxtest::Doc d(std::string(depth, '[') + std::string(depth, ']'));
    ASSERT_EQ(jx_doc_count(d), uint32_t(depth));
    Rows r(d);
    jx_rows_reveal(r, depth - 1);
    EXPECT_EQ(jx_rows_count(r), uint64_t(depth));
    jx_rows_collapse_subtree(r, 0);
    EXPECT_EQ(jx_rows_count(r), 1u);
    EXPECT_EQ(jx_rows_open_count(r), 0u);
    jx_rows_expand_to_level(r, depth);
    EXPECT_EQ(jx_rows_count(r), uint64_t(depth));
    EXPECT_EQ(jx_rows_open_count(r), uint64_t(depth - 1));
}

TEST(RowsSubtree, CollapseClearsExactlyTheRangeAcrossWordEdges) {
    // Node 61 spans [61, 182): part of a word, a whole word, part of one;
    // its children [0] sit at 62 + 2i, so 62 ends and 64 starts at a word edge.
    jxtest::Doc d("[" + repeat("[[0]]", 20) + ",[" + repeat("[0]", 60) + "]," + repeat("[[0]]", 20) + "]");
    ASSERT_EQ(jx_end(d, 61), 182u);
    Rows r(d);
    jx_rows_expand_all(r);
    std::vector<bool> open = state_of(r).open;
    for (uint32_t node : {62u, 64u, 185u, 61u, 0u}) {
        jx_rows_collapse_subtree(r, node);
        for (uint32_t id = node; id < jx_end(d, node); ++id) open[id] = false;
        ASSERT_EQ(state_of(r), expected(d, open)) << node;
    }
}

TEST(RowsLevel, LevelsAndDefaultFollowDepthAndSize) {
    jxtest::Doc d(R"({"a":{"b":{"c":{"d":1}}},"e":[]})");  // 0 {, 1 a, 2 b, 3 c, 4 d, 5 e
    Rows r(d);
    jx_rows_expand_all(r);
    jx_rows_expand_to_level(r, 0);
    EXPECT_EQ(state_of(r), root_only(d));
    jx_rows_expand_to_level(r, 3);
    EXPECT_EQ(state_of(r).rows, (std::vector<uint32_t>{0, 1, 2, 3, 5}));
    jx_rows_collapse_all(r);
    EXPECT_EQ(state_of(r).rows, (std::vector<uint32_t>{0, 1, 5}));
    EXPECT_EQ(jx_rows_open_count(r), 1u);

    // 1 + 1,666 * 3 + 1 = 5,000 nodes, the largest document opened three levels deep.
    jxtest::Doc small("[" + repeat("[[0]]", 1666) + ",0]");
    jxtest::Doc large("[" + repeat("[[0]]", 1666) + ",0,0]");
    ASSERT_EQ(jx_doc_count(small), 5000u);
    Rows rs(small), rl(large);
    jx_rows_default(rs);
    jx_rows_default(rl);
    EXPECT_EQ(jx_rows_count(rs), 5000u);
    EXPECT_EQ(jx_rows_count(rl), 1669u);
}

TEST(RowsCapacity, GrowsByDoublingUpToTheNodeCount) {
    // 1 + 39 + the array of 100 = 141 nodes.
    jxtest::Doc d("[" + repeat("0", 39) + ",[" + repeat("1", 100) + "]]");
    Rows r(d);
    EXPECT_EQ(r.r->row_capacity, 16u);
    jx_rows_expand(r, 0);
    EXPECT_EQ(r.r->row_capacity, 64u);
    jx_rows_expand(r, 40);
    EXPECT_EQ(r.r->row_capacity, 141u);
}

TEST(RowsCapacity, ShrinksAfterLargeCollapses) {
    jxtest::Doc d("[" + repeat("[0,0,0,0]", 600) + "]");  // 3,001 nodes
    Rows r(d);
    jx_rows_expand_all(r);
    EXPECT_EQ(r.r->row_capacity, 3001u);
    jx_rows_collapse_subtree(r, jx_child_at(d, 0, 300));  // 2,997 rows: no shrink
    EXPECT_EQ(r.r->row_capacity, 3001u);
    jx_rows_collapse_all(r);  // 601 rows, under a quarter
    EXPECT_EQ(r.r->row_capacity, 1202u);

    jxtest::Doc least("[" + repeat("0", 1024) + "]");  // the smallest array that shrinks
    Rows rl(least);
    jx_rows_expand_all(rl);
    jx_rows_collapse(rl, 0);
    EXPECT_EQ(rl.r->row_capacity, 1024u);
    EXPECT_EQ(jx_rows_count(rl), 1u);
}

// Seeded walks over random documents: every step is replayed on a plain
// vector of open flags and the whole observable state compared.
namespace {

struct Gen {
    std::mt19937 g;
    int budget = 0;
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(g); }
    std::string value(int depth) {
        --budget;
        int kind = depth > 8 || budget <= 0 ? 4 + pick(4) : pick(8);
        if (kind >= 4) {
            static const char *scalars[] = {"1", "\"s\"", "true", "null", "{}", "[]", "-2.5e3", "false"};
            return scalars[pick(8)];
        }
        int n = kind == 3 ? pick(90) : pick(6);  // some containers wide enough for the skip index
        std::string s = kind == 0 ? "{" : "[";
        for (int i = 0; i < n && budget > 0; ++i)
            s += (i ? "," : "") + (kind == 0 ? "\"k" + std::to_string(i) + "\":" : std::string()) + value(depth + 1);
        return s + (kind == 0 ? "}" : "]");
    }
};

}  // namespace

TEST(RowsRandom, MatchesNaiveModel) {
    Gen gen{std::mt19937(20240611)};
    for (int doc_no = 0; doc_no < 40; ++doc_no) {
        gen.budget = doc_no % 10 == 9 ? 1500 : 20 + gen.pick(300);
        int shape = gen.pick(3);  // one value, JSON Lines, several values
        std::string text = gen.value(0);
        for (int i = 0; shape && i < 1 + gen.pick(8); ++i) text += (shape == 1 ? "\n" : " ") + gen.value(1);
        jxtest::Doc d(text, false, shape == 1);
        ASSERT_NE(d.doc, nullptr) << text;
        uint32_t n = jx_doc_count(d);
        Rows r(d);
        std::vector<bool> open(n);
        auto level = [&](int lv) {
            for (uint32_t id = 0; id < n; ++id) open[id] = expandable(d, id) && int64_t(jx_depth(d, id)) < lv;
        };
        for (int step = 0; step < 250; ++step) {
            int op = gen.pick(11);
            uint64_t node = gen.pick(10) ? uint64_t(gen.pick(n)) : n + (uint64_t(gen.pick(2)) << 32);
            uint32_t id = uint32_t(node);
            bool valid = node < n;
            uint32_t end = valid ? jx_end(d, id) : 0;
            int lv = gen.pick(7) - 1;
            switch (op) {
            case 0: case 1:
                jx_rows_expand(r, node);
                if (valid && expandable(d, id)) open[id] = true;
                break;
            case 2:
                jx_rows_collapse(r, node);
                if (valid) open[id] = false;
                break;
            case 3:
                jx_rows_toggle(r, node);
                if (valid) open[id] = !open[id] && expandable(d, id);
                break;
            case 4:
                jx_rows_expand_subtree(r, node);
                for (uint32_t i = id; valid && expandable(d, id) && i < end; ++i) open[i] = open[i] || expandable(d, i);
                break;
            case 5:
                jx_rows_collapse_subtree(r, node);
                for (uint32_t i = id; valid && i < end; ++i) open[i] = false;
                break;
            case 6:
                jx_rows_expand_to_level(r, lv);
                level(lv);
                break;
            case 7:
                jx_rows_expand_all(r);
                level(INT32_MAX);
                break;
            case 8:
                if (gen.pick(2)) {
                    jx_rows_collapse_all(r);
                    level(1);
                } else {
                    jx_rows_default(r);
                    level(n <= 5000 ? 3 : 1);
                }
                break;
            default:
                jx_rows_reveal(r, node);
                for (uint32_t a = valid ? jx_parent(d, id) : JX_NONE; a != JX_NONE; a = jx_parent(d, a)) open[a] = true;
            }
            ASSERT_EQ(state_of(r), expected(d, open)) << "doc " << doc_no << " step " << step << " op " << op;
            ASSERT_LE(r.r->row_count, r.r->row_capacity);
            ASSERT_LE(r.r->row_capacity, std::max(n, 1u));
        }
    }
}

// Growing operations under failed allocations, counted down from the first
// one, once and then from the failure on.
namespace {

// 0 root; element i at 1 + 3i holding [1,2]: 121 nodes, more rows than the
// 16 a new model holds.
const std::string kWide = "[" + repeat("[1,2]", 40) + "]";

template <typename Op>
void under_failures(Op op, bool level_op) {
    jxtest::Doc d(kWide);
    for (bool persistent : {false, true}) {
        for (uint64_t n = 1;; ++n) {
            Rows r(d);
            jx_rows_expand(r, 16);  // hidden: its bit must come back intact or be dropped
            State before = state_of(r);
            jx__alloc_fail_at(n, persistent);
            op(r.r, d.doc);
            bool failed = jx__alloc_failed();
            jx__alloc_fail_at(0, false);
            if (!failed) {
                EXPECT_NE(state_of(r), before);
                break;
            }
            ASSERT_EQ(state_of(r), level_op ? root_only(d) : before) << n << " " << persistent;
        }
    }
}

}  // namespace

TEST(RowsOutOfMemory, NewFailsWithoutLeaks) {
    jxtest::Doc d(kWide);
    for (uint64_t n = 1;; ++n) {
        jx__alloc_fail_at(n, n % 2);
        JxRows *r = jx_rows_new(d);
        bool failed = jx__alloc_failed();
        jx__alloc_fail_at(0, false);
        if (!failed) {
            ASSERT_NE(r, nullptr);
            jx_rows_free(r);
            break;
        }
        EXPECT_EQ(r, nullptr);
    }
}

TEST(RowsOutOfMemory, ExpansionsLeaveTheStateUnchanged) {
    under_failures([](JxRows *r, JxDoc *) { jx_rows_expand(r, 0); }, false);
    under_failures([](JxRows *r, JxDoc *) { jx_rows_toggle(r, 0); }, false);
    under_failures([](JxRows *r, JxDoc *) { jx_rows_expand_subtree(r, 0); }, false);
    under_failures([](JxRows *r, JxDoc *) { jx_rows_expand_all(r); }, false);
    under_failures([](JxRows *r, JxDoc *) { jx_rows_reveal(r, 50); }, false);
}

TEST(RowsOutOfMemory, LevelOperationsFallBackToTheRoot) {
    under_failures([](JxRows *r, JxDoc *) { jx_rows_expand_to_level(r, 3); }, true);
    under_failures([](JxRows *r, JxDoc *) { jx_rows_collapse_all(r); }, true);
    under_failures([](JxRows *r, JxDoc *) { jx_rows_default(r); }, true);
}

TEST(RowsOutOfMemory, FailedShrinkKeepsTheLargerArray) {
    jxtest::Doc d("[" + repeat("[0]", 600) + "]");  // 1,201 nodes
    Rows r(d);
    jx_rows_expand_all(r);
    jx__alloc_fail_at(1, true);
    jx_rows_collapse(r, 0);
    jx__alloc_fail_at(0, false);
    EXPECT_EQ(r.r->row_capacity, 1201u);
    std::vector<bool> open = state_of(r).open;
    open[0] = false;
    EXPECT_EQ(state_of(r), expected(d, open));
}
