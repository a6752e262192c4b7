// The core at the edges of what it accepts: inputs generated at run time, each test checking values,
// not only that it survived. They take minutes and gigabytes, so they run alone (RUN_SERIAL) in the
// optimised build only; each prints its time and the process's peak resident memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"

using jxtest::Doc;
using jxtest::Line;
using jxtest::View;

namespace {

// A field of /proc/self/status in bytes (VmRSS, VmHWM), 0 when it cannot be read.
uint64_t proc_status_bytes(const char *field) {
    std::ifstream in("/proc/self/status");
    std::string name;
    uint64_t kb = 0;
    while (in >> name) {
        if (name == std::string(field) + ":") {
            in >> kb;
            return kb * 1024;
        }
        std::getline(in, name);
    }
    return 0;
}

// Reports the case's time and peak memory when it ends, for the test log.
struct Measure {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    ~Measure() {
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        uint64_t peak = proc_status_bytes("VmHWM");
        std::printf("huge: %s: %.1f s, peak %.0f MB\n", ::testing::UnitTest::GetInstance()->current_test_info()->name(),
                    s, double(peak) / 1e6);
        ::testing::Test::RecordProperty("seconds", std::to_string(s));
        ::testing::Test::RecordProperty("peak_bytes", std::to_string(peak));
    }
};

// Parses a jx_buf_alloc buffer, which the parser takes.
JxDoc *parse_buf(char *buf, size_t n) {
    int status = -1;
    JxDoc *d = jx_parse(buf, n, nullptr, nullptr, &status);
    EXPECT_EQ(status, JX_OK);
    return d;
}

std::string bytes_text(uint64_t n) {
    char buf[32];
    jx_fmt_bytes(n, buf, sizeof buf);
    return buf;
}

std::string path_of(const JxDoc *d, uint32_t node, int style) {
    std::string s(jx_path(d, node, style, nullptr, 0) + 1, '#');
    s.resize(jx_path(d, node, style, s.data(), s.size()));
    return s;
}

// Takes len by reference: it is read after the call that fills it.
std::string take(char *p, const size_t &len) {
    std::string s = p ? std::string(p, len) : "(null)";
    std::free(p);
    return s;
}


// ---- a string of 20,000,000 bytes ----

// Written as 12 bytes, decoded as 7 ("ab", é, "cd", a tab) and shown as 6 characters.
constexpr char UNIT[] = "ab\\u00e9cd\\t";
constexpr size_t UNIT_LEN = 12, UNIT_DECODED = 7;
constexpr char TAIL[] = "<end>!";
constexpr size_t STRING_BYTES = 20000000;
constexpr size_t UNITS = (STRING_BYTES - 2 - 6) / UNIT_LEN;  // 1,666,666 units, the tail, the quotes
constexpr size_t DECODED = UNITS * UNIT_DECODED + 6;

TEST(Huge, StringOf20MillionBytes) {
    Measure m;
    static_assert(UNITS * UNIT_LEN + 6 + 2 == STRING_BYTES);
    char *buf = jx_buf_alloc(STRING_BYTES);
    ASSERT_TRUE(buf);
    buf[0] = '"';
    for (size_t i = 0; i < UNITS; i++) std::memcpy(buf + 1 + i * UNIT_LEN, UNIT, UNIT_LEN);
    std::memcpy(buf + 1 + UNITS * UNIT_LEN, TAIL, 6);
    buf[STRING_BYTES - 1] = '"';
    Doc d(parse_buf(buf, STRING_BYTES));
    ASSERT_EQ(jx_doc_count(d), 1u);
    ASSERT_EQ(jx_val_len(d, 0), STRING_BYTES);
    EXPECT_EQ(jx_val_text(d, 0, nullptr, 0), DECODED);

    // The row: 120 characters, the string's first ones shown with the tab's picture, cut with "…".
    const char *const shown[] = {"a", "b", "\xC3\xA9", "c", "d", "\xE2\x87\xA5"};
    std::string row = "root \"";
    for (size_t chars = 0; chars < 112; chars++) row += shown[chars % 6];
    row += "\xE2\x80\xA6\"";
    View v(d);
    Line line;
    jx_view_line(v, 0, 120, &line.l);
    EXPECT_EQ(line.text(), row);
    EXPECT_EQ(jx_line_chars(&line.l), 120u);

    // Text view: the pretty line is the string as written, whole or cut at the width; the file's line
    // stops after 10,000 bytes and says how much more there is.
    JxText *pretty = jx_text_new(d, JX_TEXT_PRETTY, nullptr, nullptr);
    JxText *file = jx_text_new(d, JX_TEXT_FILE, nullptr, nullptr);
    ASSERT_TRUE(pretty && file);
    EXPECT_EQ(jx_text_count(pretty), 1u);
    EXPECT_EQ(jx_text_count(file), 1u);
    jx_text_line(pretty, 0, 0, nullptr, JX_NONE, &line.l);
    ASSERT_EQ(line.l.len, STRING_BYTES);
    EXPECT_EQ(std::memcmp(line.l.text, jx_doc_text(d), STRING_BYTES), 0);
    jx_text_line(pretty, 0, 80, nullptr, JX_NONE, &line.l);
    EXPECT_EQ(line.text(), std::string(jx_doc_text(d), 79) + "\xE2\x80\xA6");
    jx_text_line(file, 0, 0, nullptr, JX_NONE, &line.l);
    EXPECT_EQ(line.text(), std::string(jx_doc_text(d), 10000) + " \xE2\x80\xA6 " +
                                     bytes_text(STRING_BYTES - 10000) + " more on this line");
    EXPECT_EQ(jx_text_copy_size(pretty, 0, 0), STRING_BYTES);
    jx_text_free(pretty);
    jx_text_free(file);

    // The inspector: one decoded line, shortened at 64 KiB with a note, and the note of the cap.
    size_t len = 0;
    std::string insp = take(jx_inspect_text(d, 0, JX_PATH_JSONPATH, &len), len);
    std::string decoded_head;
    for (size_t i = 0; decoded_head.size() < JX_INSPECT_LINE; i++) decoded_head += "ab\xC3\xA9" "cd\t";
    decoded_head.resize(JX_INSPECT_LINE);  // 65,536 = 7 * 9,362 + 2: ends before the é
    EXPECT_EQ(insp, "string \xC2\xB7 10,000,002 characters \xC2\xB7 " + bytes_text(STRING_BYTES) + "\n$\n\n" +
                        decoded_head + " \xE2\x80\xA6 " + bytes_text(DECODED - JX_INSPECT_LINE) +
                        " more on this line\n\nShowing the first 2 MB of " + bytes_text(DECODED) +
                        ". Copy gets all of it.");

    // The copies: the decoded value whole, and as JSON what its size promised.
    EXPECT_EQ(jx_view_copy_size(v, JX_CMD_COPY_VALUE), DECODED);
    std::string value = take(jx_view_copy(v, JX_CMD_COPY_VALUE, JX_PATH_JSONPATH, &len), len);
    ASSERT_EQ(value.size(), DECODED);
    EXPECT_EQ(value.substr(0, 7), "ab\xC3\xA9" "cd\t");
    EXPECT_EQ(value.substr(DECODED - 13), "ab\xC3\xA9" "cd\t<end>!");
    std::string json = take(jx_view_copy(v, JX_CMD_COPY_JSON, JX_PATH_JSONPATH, &len), len);
    EXPECT_EQ(json.size(), jx_view_copy_size(v, JX_CMD_COPY_JSON));
    EXPECT_TRUE(json.starts_with("\"ab") && json.ends_with("<end>!\"")) << json.substr(0, 40);

    // A search whose only match ends at the value's last byte, case ignored.
    JxSearch *s = jx_search_new(d, "END>!", 5, nullptr, nullptr, 0);
    ASSERT_TRUE(s);
    ASSERT_EQ(jx_search_run(s, nullptr), JX_OK);
    ASSERT_EQ(jx_search_count(s), 1u);
    EXPECT_EQ(jx_search_hit(s, 0), 0u);
    uint32_t start = 0, length = 0;
    EXPECT_EQ(jx_search_ranges(s, value.data(), uint32_t(value.size()), 0, &start, &length, 1), 1u);
    EXPECT_EQ(start + length, DECODED);
    EXPECT_EQ(length, 5u);
    jx_search_free(s);
}

// ---- an array of 17,000,000 elements ----

constexpr uint32_t ELEMENTS = 17000000;

TEST(Huge, ArrayOf17MillionElements) {
    Measure m;
    std::string text = "[0";
    text.reserve(size_t(ELEMENTS) * 9);
    for (uint32_t i = 1; i < ELEMENTS; i++) (text += ',') += std::to_string(i);
    text += ']';
    Doc d(text);
    std::string().swap(text);
    ASSERT_EQ(jx_doc_count(d), ELEMENTS + 1);
    ASSERT_EQ(jx_child_count(d, 0), ELEMENTS);
    EXPECT_EQ(jx_doc_error_count(d), 0u);

    // Element i is node i + 1: found by position, its value, its path and the path read back.
    std::mt19937 rng(17);
    std::vector<uint32_t> picks = {0, 1, ELEMENTS / 2, ELEMENTS - 2, ELEMENTS - 1};
    for (int k = 0; k < 2000; k++) picks.push_back(uint32_t(rng() % ELEMENTS));
    for (uint32_t i : picks) {
        uint32_t id = jx_child_at(d, 0, i);
        ASSERT_EQ(id, i + 1) << i;
        ASSERT_EQ(jxtest::node_text(jx_val_text, d, id), std::to_string(i));
        ASSERT_EQ(jx_index_in_parent(d, id), i);
        std::string path = path_of(d, id, JX_PATH_JSONPATH);
        ASSERT_EQ(path, "$[" + std::to_string(i) + "]");
        ASSERT_EQ(jx_resolve(d, path.data(), path.size(), nullptr, 0), id);
    }
    EXPECT_EQ(jx_child_at(d, 0, ELEMENTS), JX_NONE);
    EXPECT_EQ(path_of(d, ELEMENTS, JX_PATH_POINTER), "/16999999");
    EXPECT_EQ(path_of(d, ELEMENTS, JX_PATH_JQ), ".[16999999]");

    // A window: the root opens at level 1; collapsed, expanded again, then the end key.
    View v(d);
    EXPECT_EQ(jx_view_count(v), ELEMENTS + 1);
    ASSERT_EQ(jx_view_key(v, JX_KEY_LEFT, 0, 40), 1);
    EXPECT_EQ(jx_view_count(v), 1u);
    ASSERT_EQ(jx_view_key(v, JX_KEY_RIGHT, 0, 40), 1);
    EXPECT_EQ(jx_view_count(v), ELEMENTS + 1);
    ASSERT_EQ(jx_view_key(v, JX_KEY_END, 0, 40), 1);
    EXPECT_EQ(jx_view_selected(v), ELEMENTS);
    EXPECT_EQ(jx_view_selected_node(v), ELEMENTS);
    EXPECT_EQ(jx_view_take_reveal(v), ELEMENTS);
    Line line;
    jx_view_line(v, ELEMENTS, 120, &line.l);
    EXPECT_EQ(line.text(), "[16999999] 16999999");
    EXPECT_EQ(line.l.node, ELEMENTS);
    EXPECT_EQ(line.l.depth, 1u);
    char path[32];
    EXPECT_EQ(jx_view_path(v, JX_PATH_JSONPATH, path, sizeof path), 11u);
    EXPECT_STREQ(path, "$[16999999]");
    ASSERT_EQ(jx_view_key(v, JX_KEY_HOME, 0, 40), 1);
    EXPECT_EQ(jx_view_selected(v), 0u);
}

// ---- 100,000 nested arrays, and one more ----

constexpr uint32_t MAX_DEPTH = 100000;

std::string nested(uint32_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(Huge, NestingAtTheLimitIsReadAndOneMoreIsRefused) {
    Measure m;
    const uint32_t deep = MAX_DEPTH - 1;  // the innermost array, an empty one
    Doc d(nested(MAX_DEPTH));
    ASSERT_EQ(jx_doc_count(d), MAX_DEPTH);
    EXPECT_EQ(jx_doc_error_count(d), 0u);
    EXPECT_EQ(jx_depth(d, deep), deep);
    EXPECT_EQ(jx_parent(d, deep), deep - 1);

    // Text view: an opening line per array, a closing line per array with a child, indentation
    // stopping at 40 levels; the file's one line cut after 10,000 bytes.
    JxText *pretty = jx_text_new(d, JX_TEXT_PRETTY, nullptr, nullptr);
    JxText *file = jx_text_new(d, JX_TEXT_FILE, nullptr, nullptr);
    ASSERT_TRUE(pretty && file);
    ASSERT_EQ(jx_text_count(pretty), 2 * MAX_DEPTH - 1);
    Line line;
    const std::string indent(80, ' ');
    const struct {
        uint32_t line;
        std::string text;
        uint32_t node;
    } lines[] = {{0, "[", 0},          {1, "  [", 1},          {39, std::string(78, ' ') + "[", 39},
                 {deep, indent + "[]", deep}, {deep + 1, indent + "]", deep - 1},
                 {2 * MAX_DEPTH - 3, "  ]", 1}, {2 * MAX_DEPTH - 2, "]", 0}};
    for (const auto &c : lines) {
        jx_text_line(pretty, c.line, 0, nullptr, JX_NONE, &line.l);
        EXPECT_EQ(line.text(), c.text) << c.line;
        EXPECT_EQ(line.l.node, c.node) << c.line;
        EXPECT_EQ(jx_text_node_of(pretty, c.line), c.node) << c.line;
    }
    EXPECT_EQ(jx_text_line_of(pretty, deep), deep);
    // A copy starts at the first line's indentation as shown and indents every level below it: from
    // the top, n² + (n - 1)² bytes of brackets and spaces, the inner "[]"'s "]" and the line feeds.
    EXPECT_EQ(jx_text_copy_size(pretty, 0, 2 * MAX_DEPTH - 2), 20000000000u);
    size_t len = 0;
    auto in = [](int n) { return std::string(size_t(n), ' '); };
    EXPECT_EQ(take(jx_text_copy(pretty, deep - 2, deep + 2, &len), len),
              in(80) + "[\n" + in(82) + "[\n" + in(84) + "[]\n" + in(82) + "]\n" + in(80) + "]");
    ASSERT_EQ(jx_text_count(file), 1u);
    jx_text_line(file, 0, 0, nullptr, JX_NONE, &line.l);
    EXPECT_EQ(line.text(), std::string(10000, '[') + " \xE2\x80\xA6 " + bytes_text(2 * MAX_DEPTH - 10000) +
                                     " more on this line");
    jx_text_free(file);

    // Paths of the deepest node, read back; its crumbs.
    std::string steps;
    for (uint32_t i = 0; i < deep; i++) steps += "[0]";
    std::string jsonpath = path_of(d, deep, JX_PATH_JSONPATH), pointer = path_of(d, deep, JX_PATH_POINTER);
    EXPECT_EQ(jsonpath, "$" + steps);
    EXPECT_EQ(pointer.size(), 2u * deep);
    EXPECT_EQ(jx_resolve(d, jsonpath.data(), jsonpath.size(), nullptr, 0), deep);
    EXPECT_EQ(jx_resolve(d, pointer.data(), pointer.size(), nullptr, 0), deep);
    EXPECT_EQ(jx_crumb_count(d, deep), MAX_DEPTH);
    EXPECT_EQ(jx_crumb_node(d, deep, 50000), 50000u);
    EXPECT_EQ(jx_crumb_node(d, deep, MAX_DEPTH), JX_NONE);

    // A window with everything expanded, the deepest node selected, saved and found again.
    View v(d);
    ASSERT_EQ(jx_view_command(v, JX_CMD_EXPAND_ALL), 1);
    EXPECT_EQ(jx_view_count(v), MAX_DEPTH);
    jx_view_select_node(v, deep);
    EXPECT_EQ(jx_view_selected(v), deep);
    ASSERT_EQ(jx_view_crumb_count(v), MAX_DEPTH);
    char label[16];
    jx_view_crumb(v, 0, label, sizeof label);
    EXPECT_STREQ(label, "root");
    jx_view_crumb(v, deep, label, sizeof label);
    EXPECT_STREQ(label, "[0]");
    jx_view_crumb_click(v, 50000);
    EXPECT_EQ(jx_view_selected_node(v), 50000u);
    jx_view_select_node(v, deep);
    jx_view_set_text(v, pretty);
    ASSERT_EQ(jx_view_set_mode(v, JX_MODE_TEXT), 1);
    EXPECT_EQ(jx_view_selected(v), deep);
    ASSERT_EQ(jx_view_key(v, JX_KEY_DOWN, 0, 40), 1);  // the closing line of the array around it
    JxState *state = jx_view_save(v, 99000);
    ASSERT_TRUE(state);
    Doc again(nested(MAX_DEPTH));
    uint32_t top = 0;
    View restored(jx_view_restore(again, state, &top));
    jx_state_free(state);
    ASSERT_TRUE(restored.v);
    EXPECT_EQ(top, 99000u);
    EXPECT_EQ(jx_view_mode(restored), uint32_t(JX_MODE_TEXT));
    EXPECT_EQ(jx_view_selected(restored), deep + 1);
    EXPECT_EQ(jx_view_selected_node(restored), deep - 1);
    ASSERT_EQ(jx_view_set_mode(restored, JX_MODE_TREE), 1);
    EXPECT_EQ(jx_view_count(restored), MAX_DEPTH);

    // One level more: the parser stops at the bracket that passes the limit and says so.
    Doc over(nested(MAX_DEPTH + 1));
    ASSERT_TRUE(over.doc);
    ASSERT_EQ(jx_doc_error_count(over), 1u);
    const jx_problem *p = jx_doc_error(over, 0);
    ASSERT_TRUE(p);
    EXPECT_STREQ(p->message, "nesting deeper than 100,000 levels");
    EXPECT_EQ(p->offset, MAX_DEPTH);
    EXPECT_EQ(p->line, 1u);
    EXPECT_EQ(p->column, MAX_DEPTH + 1);
    EXPECT_EQ(jx_doc_count(over), MAX_DEPTH);
    char bar[160];
    jx_errorbar_text(over, bar, sizeof bar);
    EXPECT_STREQ(bar, "Line 1, column 100,001: nesting deeper than 100,000 levels. Showing everything before it.");
}

// ---- a 2 GB JSON Lines file with a bad line every 1,000 lines ----

constexpr uint32_t LINE_BYTES = 100;                 // each line with its line feed
constexpr uint32_t RECORDS = (1u << 31) / LINE_BYTES;  // 21,474,836 lines, just under 2 GiB
constexpr uint32_t BAD_EVERY = 1000;

// Line n (1-based): {"id":n,"text":"xxx…"} padded to 99 bytes; every 1,000th lacks its comma.
size_t record(char *out, uint32_t n) {
    bool bad = n % BAD_EVERY == 0;
    int head = std::snprintf(out, LINE_BYTES, bad ? "{\"id\":%u \"text\":\"" : "{\"id\":%u,\"text\":\"", n);
    std::memset(out + head, 'x', LINE_BYTES - 3 - size_t(head));
    std::memcpy(out + LINE_BYTES - 3, "\"}\n", 3);
    return LINE_BYTES;
}

TEST(Huge, JsonLinesOf2GBWithABadLineEvery1000) {
    Measure m;
    // Written to disk and read back as the application would, so that memory counts only the document.
    const std::string path = std::string(ORVEL_HUGE_DIR) + "/huge-records.jsonl";
    {
        std::FILE *f = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(f) << path;
        std::vector<char> chunk(size_t(LINE_BYTES) * 10000);
        for (uint32_t n = 1; n <= RECORDS; n += 10000) {
            size_t used = 0;
            for (uint32_t k = n; k < n + 10000 && k <= RECORDS; k++) used += record(chunk.data() + used, k);
            if (std::fwrite(chunk.data(), 1, used, f) != used) break;
        }
        bool written = !std::ferror(f);
        written &= std::fclose(f) == 0;
        if (!written) std::remove(path.c_str());
        ASSERT_TRUE(written) << "cannot write " << path << " (2 GB): " << std::strerror(errno);
    }
    const size_t size = size_t(RECORDS) * LINE_BYTES;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::remove(path.c_str());
    ASSERT_GE(fd, 0);
    struct stat st {};
    ASSERT_EQ(fstat(fd, &st), 0);
    ASSERT_EQ(uint64_t(st.st_size), size);
    char *buf = jx_buf_alloc(size);
    ASSERT_TRUE(buf);
    size_t got = 0;
    while (got < size) {
        ssize_t n = read(fd, buf + got, size - got);
        if (n <= 0) break;
        got += size_t(n);
    }
    close(fd);
    ASSERT_EQ(got, size);
    const uint64_t before = proc_status_bytes("VmRSS");
    Doc d(parse_buf(buf, size));
    ASSERT_TRUE(d.doc);

    const uint32_t bad = RECORDS / BAD_EVERY, good = RECORDS - bad;
    EXPECT_EQ(jx_doc_format(d), uint32_t(JX_FORMAT_LINES));
    EXPECT_EQ(jx_child_count(d, 0), RECORDS);
    EXPECT_EQ(jx_doc_count(d), 1 + 3 * good + bad);  // a good record is 3 nodes, a bad one 1
    EXPECT_EQ(jx_doc_line_count(d), RECORDS + 1);     // the empty line after the last line feed
    ASSERT_EQ(jx_doc_error_count(d), bad);
    const jx_problem *first = jx_doc_error(d, 0), *last = jx_doc_error(d, bad - 1);
    ASSERT_TRUE(first && last);
    EXPECT_EQ(first->line, BAD_EVERY);
    EXPECT_EQ(first->column, 6u + 4 + 2);  // {"id":1000 then a space: the key that should follow a comma
    EXPECT_STREQ(first->message, "expected , or } after a value");
    EXPECT_EQ(last->line, bad * BAD_EVERY);
    EXPECT_EQ(last->column, 6u + 8 + 2);
    EXPECT_EQ(last->offset, uint64_t(bad * BAD_EVERY - 1) * LINE_BYTES + 6 + 8 + 1);
    EXPECT_EQ(jx_type(d, last->node), JX_BAD);
    EXPECT_EQ(jx_record_line(d, last->node), bad * BAD_EVERY);

    // Resident memory: the text, 20 bytes per node, 4 per line and 12 per problem, 5 % over at most.
    const uint64_t rss = proc_status_bytes("VmRSS"), peak = proc_status_bytes("VmHWM");
    const double model = double(size) + 20.0 * jx_doc_count(d) + 4.0 * jx_doc_line_count(d) + 12.0 * bad;
    std::printf("huge: 2 GB records: text %zu, nodes %u, lines %u, problems %u: model %.0f MB, "
                "resident %.0f MB (%.3f), peak %.0f MB (%.3f), before the parse %.0f MB\n",
                size, jx_doc_count(d), jx_doc_line_count(d), bad, model / 1e6, double(rss) / 1e6, double(rss) / model,
                double(peak) / 1e6, double(peak) / model, double(before) / 1e6);
    EXPECT_LE(double(peak), 1.05 * model);
    EXPECT_LE(double(rss), 1.05 * model);
}

}  // namespace
