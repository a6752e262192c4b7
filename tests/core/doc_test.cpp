#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "doc_int.h"

#include "test_util.h"

using jxtest::Doc;

namespace {

TEST(DocQueries, NullAndOutOfRangeGiveNeutralValues) {
    Doc doc("[1]");
    for (const JxDoc *d : {static_cast<const JxDoc *>(nullptr), static_cast<const JxDoc *>(doc.doc)}) {
        uint32_t past = 99;
        EXPECT_EQ(jx_type(d, past), JX_NULL);
        EXPECT_EQ(jx_parent(d, past), JX_NONE);
        EXPECT_EQ(jx_end(d, past), JX_NONE);
        EXPECT_EQ(jx_val_offset(d, past), 0u);
        EXPECT_EQ(jx_key_offset(d, past), JX_NONE);
        EXPECT_EQ(jx_child_at(d, past, 0), JX_NONE);
        EXPECT_EQ(jx_index_in_parent(d, past), 0u);
        EXPECT_EQ(jx_val_len(d, past), 0u);
    }
    EXPECT_STREQ(jx_doc_encoding(nullptr), "UTF-8");
    EXPECT_EQ(jx_doc_syntax_offset(nullptr), JX_NONE);
    EXPECT_EQ(jx_doc_col_of(nullptr, 5), 1u);
    EXPECT_EQ(jx_doc_retain(nullptr), nullptr);
    jx_doc_release(nullptr);
}

TEST(DocQueries, EmptyContainersSiblingsAndValueLengths) {
    Doc doc("{\"a\": [], \"b\": {}, \"c\": [[]]}");
    EXPECT_EQ(jx_end(doc, 1), 2u);
    EXPECT_EQ(jx_first_child(doc, 1), JX_NONE);
    EXPECT_EQ(jx_child_count(doc, 1), 0u);
    EXPECT_EQ(jx_next_sibling(doc, 1), 2u);
    EXPECT_EQ(jx_next_sibling(doc, 3), JX_NONE);
    EXPECT_EQ(jx_next_sibling(doc, 0), JX_NONE);
    EXPECT_EQ(jx_val_len(doc, 3), 4u);  // [[]] with its closing brackets
    EXPECT_EQ(jx_depth(doc, 4), 2u);
    Doc lenient("[[1, /* x */ ] // y\n , {}, ]");  // comments and commas before brackets are skipped
    EXPECT_EQ(jx_val_len(lenient, 1), 13u);
    EXPECT_EQ(jx_val_len(lenient, 0), jx_doc_size(lenient));
}

// Indexed access over every child agrees with a walk along sibling links.
void expect_children_agree(const JxDoc *doc, uint32_t id) {
    uint32_t child = jx_first_child(doc, id), n = jx_child_count(doc, id);
    for (uint32_t i = 0; i < n; i++) {
        ASSERT_EQ(jx_child_at(doc, id, i), child) << "container " << id << " child " << i;
        ASSERT_EQ(jx_index_in_parent(doc, child), i);
        child = jx_next_sibling(doc, child);
    }
    EXPECT_EQ(child, JX_NONE);
    EXPECT_EQ(jx_child_at(doc, id, n), JX_NONE);
    // The bulk listing, from every start the rows use and some they do not, in slices of any size.
    for (uint32_t first = 0; first <= n + 1 && first < 300; first += first < 40 ? 1 : 16) {
        for (uint32_t room : {1u, 16u, 33u, 64u, n + 1}) {
            std::vector<uint32_t> out(room, JX_NONE);
            uint32_t k = jx__children(doc, id, first, out.data(), room);
            ASSERT_EQ(k, first < n ? std::min(room, n - first) : 0) << "container " << id << " from " << first;
            for (uint32_t i = 0; i < k; i++)
                ASSERT_EQ(out[i], jx_child_at(doc, id, first + i)) << "container " << id << " from " << first;
        }
    }
}

// With and without the skip index, at every position of containers around the 64 threshold,
// nested, in more than one chunk of nodes.
TEST(DocSkipIndex, ChildAtAndIndexAgreeWithAWalk) {
    for (int n : {0, 1, 63, 64, 100, 4097}) {
        std::string text = "[";
        for (int i = 0; i < n; i++) text += (i ? "," : "") + std::string(i % 3 ? "1" : "[0,{\"k\":[]}]");
        Doc doc(text + "]");
        ASSERT_EQ(jx_child_count(doc, 0), uint32_t(n));
        expect_children_agree(doc, 0);
    }
    std::string nested = "[", row = "[2";
    for (int j = 1; j < 65; j++) row += ",2";
    for (int i = 0; i < 70; i++) nested += (i ? "," : "") + row + "]";
    Doc doc(nested + "]");
    for (uint32_t id : {0u, jx_child_at(doc, 0, 69)}) expect_children_agree(doc, id);

    std::string text = "[0";
    for (int i = 1; i < (1 << 20) + 10; i++) text += ",0";
    Doc chunks(text + "]");
    uint32_t last = jx_doc_count(chunks) - 1;
    EXPECT_EQ(last, (1u << 20) + 10);
    EXPECT_EQ(jx_child_at(chunks, 0, last - 1), last);
    EXPECT_EQ(jx_index_in_parent(chunks, last), last - 1);
    EXPECT_EQ(jx_val_offset(chunks, last), uint32_t(text.size() - 1));
}

// Samples gathered while parsing must survive the records machinery: ids
// shifted under a new root, records thrown away and rewritten as bad ones.
TEST(DocSkipIndex, RecordsKeepTheirSamples) {
    std::string big = "[1";
    for (int j = 1; j < 70; j++) big += ",1";
    big += "]";
    Doc values(big + " " + big + "\n2 3");
    ASSERT_EQ(jx_doc_format(values), uint32_t(JX_FORMAT_VALUES));
    for (uint32_t id : {0u, 1u, jx_child_at(values, 0, 1)}) expect_children_agree(values, id);

    std::string lines;
    for (int i = 0; i < 300; i++) {
        if (i % 16 == 0 && i >= 64) lines += "[" + big.substr(1, big.size() - 2) + ", oops]\n";  // bad after a big array
        else lines += (i % 7 == 3) ? big + "\n" : "{\"k\": " + std::to_string(i) + "}\n";
    }
    Doc doc(lines);
    ASSERT_EQ(jx_child_count(doc, 0), 300u);
    EXPECT_GT(jx_doc_error_count(doc), 10u);
    expect_children_agree(doc, 0);
    for (uint32_t i = 0; i < 300; i++) {
        uint32_t rec = jx_child_at(doc, 0, i);
        if (jx_child_count(doc, rec) >= 64) expect_children_agree(doc, rec);
    }
}

// Lengths past the node's 24-bit field come from the big table; exactly 0xFFFFFF still fits.
TEST(DocBigTable, LongStringsKeepTheirLength) {
    Doc doc("[\"" + std::string(20000000, 'a') + "\", \"" + std::string(0xFFFFFF - 2, 'b') + "\"]");
    EXPECT_EQ(jx_val_len(doc, 1), 20000002u);
    EXPECT_EQ(jx_val_len(doc, 2), 0xFFFFFFu);
}

TEST(DocText, KeyLengthsAndRecordLines) {
    Doc doc("{\"a\\\"b\": 1, $x_1: 2, 'q': 3}");
    EXPECT_EQ(jx_key_len(doc, 1), 6u);
    EXPECT_EQ(jx_key_len(doc, 2), 4u);
    EXPECT_EQ(jx_key_len(doc, 3), 3u);
    EXPECT_EQ(jx_has_key(doc, 0), 0);
    EXPECT_EQ(jx_key_len(doc, 0), 0u);
    EXPECT_EQ(jx_doc_records(doc), 0);
    EXPECT_EQ(jx_record_line(doc, 0), 0u);
    Doc lines("1\n\n[2]\n");
    EXPECT_EQ(jx_doc_records(lines), 1);
    EXPECT_EQ(jx_record_line(lines, 2), 3u);
    EXPECT_EQ(jx_record_line(lines, 3), 0u);
}

TEST(DocText, ColumnsCountCharacters) {
    Doc doc("[\n\"\xC3\xA9x\", \"\xFF\", \"\xE2\x82\xAC!\", \"\xF0\x9F\x98\x80.\", \"\xED\xA0\x80\"]");
    const char *t = jx_doc_text(doc);
    auto col = [&](const char *needle) { return jx_doc_col_of(doc, uint32_t(std::strstr(t, needle) - t)); };
    EXPECT_EQ(col("x"), 3u);   // after a 2-byte letter
    EXPECT_EQ(col("\xFF"), 8u);
    EXPECT_EQ(col("!"), 14u);  // 3-byte euro sign is one column
    EXPECT_EQ(col("."), 20u);  // 4-byte emoji is one column
    // an encoded surrogate is not a character: three columns for three bytes
    uint32_t s = uint32_t(std::strstr(t, "\xED") - t);
    EXPECT_EQ(jx_doc_col_of(doc, s + 3), jx_doc_col_of(doc, s) + 3);
    EXPECT_EQ(jx_doc_col_of(doc, 0), 1u);
    EXPECT_EQ(jx_doc_col_of(doc, 100000), jx_doc_col_of(doc, jx_doc_size(doc)));
    EXPECT_EQ(jx_doc_line_start(doc, jx_doc_line_count(doc)), jx_doc_size(doc));
}

TEST(DocLifetime, RetainKeepsTheDocumentAlive) {
    JxDoc *doc = jxtest::parse("[\"kept\"]");
    EXPECT_EQ(jx_doc_retain(doc), doc);
    jx_doc_release(doc);
    EXPECT_EQ(std::string(jx_doc_text(doc) + jx_val_offset(doc, 1), 6), "\"kept\"");
    jx_doc_release(doc);
}

}  // namespace
