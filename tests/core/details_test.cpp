#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "alloc.h"
#include "test_util.h"

namespace {

const std::string MB2 = "Showing the first 2 MB of ";

std::string inspect(const JxDoc *d, uint32_t node, int style = JX_PATH_JSONPATH) {
    size_t len = 99;
    char *t = jx_inspect_text(d, node, style, &len);
    EXPECT_TRUE(t) << "node " << node;
    std::string s = t ? std::string(t, len) : "";
    if (t) {
        EXPECT_EQ(std::strlen(t), len);
    }
    std::free(t);
    return s;
}

TEST(Inspect, HeaderPathRepeatsAndBody) {
    jxtest::Doc d(R"({"a":1,"k":[],"k":"x\ty","k":null})");
    EXPECT_EQ(inspect(d, 0), "object \xC2\xB7 4 keys \xC2\xB7 34 bytes\n$\n\n"
                             "{\n  \"a\": 1,\n  \"k\": [],\n  \"k\": \"x\\ty\",\n  \"k\": null\n}");
    EXPECT_NE(inspect(d, 0, JX_PATH_JAVASCRIPT).find(" bytes\n(root)\n\n{"), std::string::npos);
    EXPECT_EQ(inspect(d, 2, JX_PATH_JQ), "array \xC2\xB7 0 items \xC2\xB7 2 bytes\n.k\n"
                                         "This key appears 3 times in its object.\n\n[]");
    EXPECT_EQ(inspect(d, 3).substr(inspect(d, 3).find("\n\n") + 2), "x\ty");

    jxtest::Doc r("{\"a\":1}\n{\"a\":}\n");
    std::string bad = inspect(r, 3);
    EXPECT_NE(bad.find("$[1]\n\nexpected a value\n\n{\"a\":}"), std::string::npos) << bad;
    EXPECT_EQ(jx_inspect_text(r, 99, 0, nullptr), nullptr);
    EXPECT_EQ(jx_inspect_text(nullptr, 0, 0, nullptr), nullptr);
}

TEST(Inspect, LargeValuesStopAtTheCapWithANote) {
    // 5 MB of short lines: the first 2 MB less the header, then the note.
    std::string big;
    while (big.size() < (5u << 20)) big += std::string(98, 'v') + "\\n";
    jxtest::Doc s("[\"" + big + "\"]");
    std::string t = inspect(s, 1);
    const std::string note = "\n\n" + MB2 + "5.0 MB. Copy gets all of it.";
    ASSERT_EQ(t.substr(t.size() - note.size()), note);
    size_t body = t.find("\n\n") + 2;
    EXPECT_LE(t.size() - note.size() - body, size_t(JX_INSPECT_CAP));
    EXPECT_GT(t.size() - note.size() - body, size_t(JX_INSPECT_CAP) - 200);
    EXPECT_EQ(t.find_first_not_of("v\n", body), t.size() - note.size() + 2);

    // A long line in a small value is shortened, and the note follows.
    jxtest::Doc l("[\"" + std::string(100000, 'x') + "\", 1]");
    std::string lt = inspect(l, 0);
    std::string shortened = "[\n  \"" + std::string(JX_INSPECT_LINE - 3, 'x') + " \xE2\x80\xA6 33.7 KB more on this line\n  1\n]";
    EXPECT_NE(lt.find(shortened), std::string::npos);
    EXPECT_NE(lt.find(MB2 + "97.7 KB. Copy gets all of it."), std::string::npos);

    // A container whose JSON is far beyond the cap ends at a whole line.
    std::string many = "[";
    for (int i = 0; i < 400000; i++) many += "\"item number " + std::to_string(i) + "\",";
    many.back() = ']';
    jxtest::Doc m(many);
    std::string mt = inspect(m, 0);
    size_t at = mt.find("\n\n" + MB2);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(mt.substr(at - 2, 2), "\",");
    EXPECT_LE(at - (mt.find("\n\n") + 2), size_t(JX_INSPECT_CAP));
}

TEST(Inspect, CutContainersNoteThePrettySizeOrTheSizeAsWritten) {
    // Pretty JSON of 2.4 MB from 1 MB as written is measured; 4.2 MB as written is not: the walk
    // over the whole subtree would cost far more than the text shown.
    const struct {
        size_t items;
        std::string size;
    } cases[] = {{500000, "2.4 MB"}, {2200000, "4.2 MB"}};
    for (const auto &c : cases) {
        std::string src = "[";
        for (size_t i = 0; i < c.items; i++) src += "1,";
        src.back() = ']';
        jxtest::Doc d(src);
        std::string t = inspect(d, 0);
        const std::string note = "\n\n" + MB2 + c.size + ". Copy gets all of it.";
        ASSERT_GT(t.size(), note.size());
        EXPECT_EQ(t.substr(t.size() - note.size()), note) << c.items;
    }
}

TEST(Inspect, EveryAllocationFailureGivesNullAndLeaksNothing) {
    jxtest::Doc d(R"({"k":{"deep":[1,"two",{"k":3}]},"k":"s"})");
    for (uint32_t node : {0u, 2u, 7u}) {
        std::string full = inspect(d, node);
        for (bool persistent : {false, true}) {
            for (uint64_t n = 1;; n++) {
                jx__alloc_fail_at(n, persistent);
                size_t len = 99;
                char *t = jx_inspect_text(d, node, JX_PATH_JQ, &len);
                bool failed = jx__alloc_failed();
                jx__alloc_fail_at(0, false);
                if (!t) {
                    EXPECT_EQ(len, 0u);
                    EXPECT_TRUE(failed);
                    continue;
                }
                std::free(t);
                if (!failed) break;
            }
        }
    }
}

TEST(Inspect, MemoryWarningAboveSixtyPercent) {
    const uint64_t GB = 1ull << 30;
    uint64_t need = 0;
    EXPECT_EQ(jx_memory_warning(int64_t(4 * GB), 16 * GB, &need), 0);
    EXPECT_EQ(need, 8 * GB);
    EXPECT_EQ(jx_memory_warning(int64_t(4 * GB), 8 * GB, nullptr), 1);
    EXPECT_EQ(jx_memory_warning(-1, UINT64_MAX, &need), 1);
    EXPECT_EQ(need, UINT64_MAX);
    EXPECT_EQ(jx_memory_warning(int64_t(3 * GB), 10 * GB, nullptr), 0);  // exactly 60 %: no warning
    EXPECT_EQ(jx_memory_warning(INT64_MAX, UINT64_MAX, nullptr), 1);     // products overflow
}

}  // namespace
