// What the headers promise about threads, on work big enough to overlap: one document read from
// several threads, problem records built lazily by racing readers, the parse's prefault thread and a
// cancel from outside, a view reading while a search runs and while its Text view model is built.
// Every suite here ends in "Threads": the ThreadSanitizer build runs exactly those (label threads).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "test_util.h"

using jxtest::Doc;
using jxtest::View;

namespace {

constexpr int READERS = 4;

std::string take(char *p, const size_t &len) {
    std::string s = p ? std::string(p, len) : "(null)";
    std::free(p);
    return s;
}

std::string path_of(const JxDoc *d, uint32_t node, int style) {
    std::string s(jx_path(d, node, style, nullptr, 0) + 1, '#');
    s.resize(jx_path(d, node, style, s.data(), s.size()));
    return s;
}

using jxtest::Line;

// Releases the threads it is given all at once, so that they start their work together.
struct Start {
    std::atomic<int> waiting{0};
    void arrive(int of) {
        waiting++;
        while (waiting.load() < of) std::this_thread::yield();
    }
};

// JSON Lines: objects with escaped and repeated keys and nested arrays, every 7th line broken, so
// that readers meet lazy problem blocks, decoding and every kind of node.
std::string records(int n) {
    std::string t;
    for (int i = 0; i < n; i++) {
        std::string id = std::to_string(i);
        if (i % 7 == 3) {
            t += "{\"id\":" + id + ",\"bad\":}\n";
            continue;
        }
        t += "{\"id\":" + id + ",\"n\\u00e4me\":\"r\\t" + id + "\",\"tags\":[" + id + ",true,null,\"x\"],\"id\":" + id +
             "}\n";
    }
    return t;
}

// Everything a reader can ask of one node, as one text.
std::string facts(const JxDoc *d, uint32_t id) {
    std::string s = path_of(d, id, JX_PATH_JSONPATH) + "|" + path_of(d, id, JX_PATH_POINTER) + "|";
    s += jxtest::node_text(jx_key_text, d, id) + "|" + jxtest::node_text(jx_val_text, d, id) + "|";
    s += std::to_string(jx_key_repeats(d, id)) + "|" + std::to_string(jx_crumb_count(d, id)) + "|";
    char buf[160];
    jx_select_text(d, id, buf, sizeof buf);
    s += buf;
    size_t len = 0;
    s += take(jx_inspect_text(d, id, JX_PATH_JQ, &len), len);
    s += take(jx_copy_json(d, id, 0, &len), len);
    std::string path = path_of(d, id, JX_PATH_JSONPATH);
    s += "|" + std::to_string(jx_resolve(d, path.data(), path.size(), nullptr, 0));
    return s;
}

// ---- one document, several readers ----

TEST(DocThreads, ReadersAgreeWithOneThreadAndTheLastReleaseMayBeAnyones) {
    JxDoc *d = jxtest::parse(records(1500));
    ASSERT_TRUE(d);
    const uint32_t count = jx_doc_count(d), problems = jx_doc_error_count(d);
    ASSERT_EQ(problems, (1500u + 3) / 7);  // lines 3, 10, ...
    std::vector<std::string> expected;
    {
        // The reference is read from a second parse, so that its problem blocks stay unbuilt in d.
        Doc ref(records(1500));
        for (uint32_t id = 0; id < count; id++) expected.push_back(facts(ref, id));
    }
    Start start;
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < READERS; t++) {
        readers.emplace_back([&, t, doc = jx_doc_retain(d)] {
            start.arrive(READERS);
            // Each reader walks from another place, so that they meet in the middle of blocks.
            for (uint32_t k = 0; k < count; k++) {
                uint32_t id = (k + uint32_t(t) * count / READERS) % count;
                if (facts(doc, id) != expected[id]) wrong++;
                if (k < problems) {
                    const jx_problem *p = jx_doc_error(doc, (k + uint32_t(t) * 97) % problems);
                    if (!p || std::strcmp(p->message, "expected a value") != 0) wrong++;
                }
            }
            jx_doc_release(doc);
        });
    }
    jx_doc_release(d);  // the readers hold theirs: one of them frees the document
    for (auto &r : readers) r.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(DocThreads, ProblemBlockRequestedByEveryReaderAtOnceIsPublishedOnce) {
    std::string text;
    for (int i = 0; i < 6000; i++) text += (i % 2) ? "{\"a\":}\n" : "[2]\n";
    for (int round = 0; round < 20; round++) {
        Doc d(text);
        ASSERT_EQ(jx_doc_error_count(d), 3000u);
        const uint32_t target = 1024 * uint32_t(1 + round % 2) + uint32_t(round);
        Start start;
        const jx_problem *seen[READERS] = {};
        std::vector<std::thread> readers;
        for (int t = 0; t < READERS; t++)
            readers.emplace_back([&, t] {
                start.arrive(READERS);
                seen[t] = jx_doc_error(d, target);
            });
        for (auto &r : readers) r.join();
        ASSERT_TRUE(seen[0]);
        for (const jx_problem *p : seen) EXPECT_EQ(p, seen[0]) << round;  // one record, not one each
        EXPECT_EQ(seen[0]->line, 2 * target + 2);
        EXPECT_EQ(seen[0]->column, 6u);
    }
}

// ---- the parse: its prefault thread, and a cancel from another thread ----

// Over 128 MB, where the parser faults node storage in on a thread of its own: 2.5 million strings.
std::string large_array(uint32_t *elements) {
    const std::string item = "\"" + std::string(48, 'p') + "\",";
    *elements = (130u << 20) / uint32_t(item.size()) + 1;
    std::string t = "[";
    t.reserve(size_t(*elements) * item.size() + 2);
    for (uint32_t i = 0; i < *elements; i++) t += item;
    t.back() = ']';
    return t;
}

struct CancelOnFirstReport {
    uint32_t flag = 0;
    std::atomic<int> reports{0};
    jx_progress p{&CancelOnFirstReport::note, this, &flag};
    static void note(void *ctx, uint64_t, uint64_t) { static_cast<CancelOnFirstReport *>(ctx)->reports++; }
};

TEST(ParseThreads, PrefaultThreadLeavesEveryNodeAsWrittenAndEndsWithACancel) {
    uint32_t elements = 0;
    const std::string text = large_array(&elements);
    ASSERT_GT(elements, 2u << 20);  // past chunk 0 and into reserved chunks
    {
        Doc d(text);
        ASSERT_EQ(jx_doc_count(d), elements + 1);
        for (uint32_t i : {0u, (1u << 20) - 2, 1u << 20, (2u << 20) + 5, elements - 1}) {
            uint32_t id = jx_child_at(d, 0, i);
            ASSERT_EQ(id, i + 1);
            EXPECT_EQ(jx_val_offset(d, id), 1 + 51 * i);
            EXPECT_EQ(jx_val_len(d, id), 50u);
        }
    }
    // Cancelled from another thread once the parse reports progress: the parse stops, joins its
    // prefault thread and frees what it had.
    CancelOnFirstReport c;
    char *buf = jx_buf_alloc(text.size());
    ASSERT_TRUE(buf);
    std::memcpy(buf, text.data(), text.size());
    std::thread canceller([&c] {
        while (c.reports.load() == 0) std::this_thread::yield();
        __atomic_store_n(&c.flag, 1u, __ATOMIC_RELAXED);
    });
    int status = -1;
    JxDoc *d = jx_parse(buf, text.size(), nullptr, &c.p, &status);
    canceller.join();
    if (status == JX_OK) {
        // The cancel came after the last checkpoint: the document must then be whole.
        EXPECT_EQ(jx_doc_count(d), elements + 1);
    } else {
        EXPECT_EQ(status, JX_CANCELLED);
        EXPECT_EQ(d, nullptr);
    }
    jx_doc_release(d);
}

// ---- a view and a Text view model while other threads work ----

// Pretty lines 0 to count - 1 of a model, built on this thread.
std::vector<std::string> pretty_lines(JxDoc *d) {
    JxText *t = jx_text_new(d, JX_TEXT_PRETTY, nullptr, nullptr);
    std::vector<std::string> out;
    Line line;
    for (uint32_t i = 0; i < jx_text_count(t); i++) {
        jx_text_line(t, i, 100, nullptr, JX_NONE, &line.l);
        out.push_back(line.text());
    }
    jx_text_free(t);
    return out;
}

TEST(TextThreads, ModelBuiltOnAWorkerWhileTheViewIsUsedThenReadByMany) {
    Doc d(records(40000));
    const std::vector<std::string> expected = pretty_lines(d);
    View v(d);
    std::atomic<JxText *> built{nullptr};
    std::atomic<int> status{-1};
    Start start;
    std::thread worker([&] {
        start.arrive(2);
        int st = -1;
        JxText *t = jx_text_new(d, JX_TEXT_PRETTY, nullptr, &st);
        status = st;
        built = t;
    });
    // Meanwhile the main thread uses the view over the same document.
    Line line;
    start.arrive(2);
    do {
        jx_view_key(v, JX_KEY_DOWN, 0, 30);
        jx_view_line(v, jx_view_selected(v), 120, &line.l);
        ASSERT_EQ(line.l.node, jx_view_selected_node(v));
        size_t len = 0;
        std::free(jx_view_copy(v, JX_CMD_COPY_JSON, JX_PATH_JSONPATH, &len));
    } while (!built.load() && status.load() < 0);
    worker.join();
    ASSERT_EQ(status.load(), JX_OK);
    JxText *model = built.load();
    jx_view_set_text(v, model);
    ASSERT_EQ(jx_view_set_mode(v, JX_MODE_TEXT), 1);
    ASSERT_EQ(jx_text_count(model), expected.size());

    // The model the view owns is read by several threads at once, each with its own line.
    std::atomic<int> wrong{0};
    Start together;
    std::vector<std::thread> readers;
    for (int t = 0; t < READERS; t++)
        readers.emplace_back([&, t] {
            Line own;
            together.arrive(READERS);
            for (uint32_t i = uint32_t(t); i < expected.size(); i += 3) {
                jx_text_line(model, i, 100, nullptr, JX_NONE, &own.l);
                if (own.text() != expected[i] || jx_text_line_of(model, own.l.node) == JX_NONE) wrong++;
            }
        });
    for (uint32_t i = 0; i < 2000; i++) {  // the view keeps drawing on its own thread
        jx_view_line(v, i, 100, &line.l);
        if (line.text() != expected[i]) wrong++;
    }
    for (auto &r : readers) r.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(TextThreads, BuildCancelledFromTheViewsThread) {
    Doc d(records(60000));
    uint32_t flag = 0;
    std::atomic<int> reports{0};
    jx_progress p{[](void *ctx, uint64_t, uint64_t) { (*static_cast<std::atomic<int> *>(ctx))++; }, &reports, &flag};
    int status = -1;
    JxText *t = nullptr;
    std::thread worker([&] { t = jx_text_new(d, JX_TEXT_PRETTY, &p, &status); });
    while (reports.load() == 0) std::this_thread::yield();
    __atomic_store_n(&flag, 1u, __ATOMIC_RELAXED);
    worker.join();
    if (status == JX_OK) {
        EXPECT_TRUE(t);  // finished before the flag was read again
    } else {
        EXPECT_EQ(status, JX_CANCELLED);
        EXPECT_EQ(t, nullptr);
    }
    jx_text_free(t);
}

// ---- readers of a running search ----

TEST(SearchThreads, ViewTextAndRowsFollowARunningSearch) {
    std::string text = "[";
    for (int i = 0; i < 300000; i++) text += (i ? ",\"" : "\"") + std::string(i % 3 ? "miss" : "hit") + "\"";
    Doc d(text + "]");
    JxText *model = jx_text_new(d, JX_TEXT_PRETTY, nullptr, nullptr);
    ASSERT_TRUE(model);
    View v(d);
    JxSearch *s = jx_search_new(d, "hit", 3, nullptr, nullptr, 0);
    ASSERT_TRUE(s);
    std::atomic<int> result{-1};
    std::thread runner([&] { result = jx_search_run(s, nullptr); });
    while (jx_search_count(s) == 0 && result.load() < 0) std::this_thread::yield();
    jx_view_set_search(v, s);  // the view owns it from here; the runner only returns

    // While the run fills, the view follows it and draws; another thread draws Text view lines.
    std::atomic<int> wrong{0};
    std::thread drawer([&] {
        Line line;
        for (uint32_t i = 1; i < 200000; i += 7) {
            jx_text_line(model, i, 0, s, JX_NONE, &line.l);
            bool hit = (i - 1) % 3 == 0;
            bool marked = false;
            for (uint32_t r = 0; r < line.l.nruns; r++) marked |= line.l.runs[r].hit != JX_HIT_NONE;
            // a hit is marked once the run has published it; a miss never is
            if (marked && !hit) wrong++;
        }
    });
    Line line;
    char label[96];
    while (result.load() < 0) {
        jx_view_search_update(v);
        uint32_t sel = jx_view_selected(v);
        jx_view_line(v, sel, 120, &line.l);
        jx_view_search_label(v, label, sizeof label);
        if (jx_view_selected_node(v) != 1) wrong++;  // the first hit, followed from the root
    }
    runner.join();
    drawer.join();
    ASSERT_EQ(result.load(), JX_OK);
    jx_view_search_update(v);
    jx_view_search_label(v, label, sizeof label);
    EXPECT_STREQ(label, "1 of 100,000");
    ASSERT_EQ(jx_view_command(v, JX_CMD_FIND_PREVIOUS), 1);
    EXPECT_EQ(jx_view_selected_node(v), 299998u);
    EXPECT_EQ(wrong.load(), 0);
    jx_text_free(model);
}

// ---- a view saved on its thread and restored on another ----

TEST(RestoreThreads, StateSavedHereRestoredThereWhileThisViewIsUsed) {
    Doc d(records(20000));
    View v(d);
    ASSERT_EQ(jx_view_command(v, JX_CMD_EXPAND_ALL), 1);
    jx_view_select_node(v, jx_doc_count(d) - 3);
    JxState *state = jx_view_save(v, 500);
    ASSERT_TRUE(state);
    Doc again(records(20000));
    JxView *restored = nullptr;
    uint32_t top = 0;
    std::thread worker([&] {
        restored = jx_view_restore(again, state, &top);
        jx_state_free(state);
    });
    Line line;
    for (uint32_t i = 0; i < 3000; i++) jx_view_line(v, i, 120, &line.l);  // the old view draws meanwhile
    worker.join();
    View r(restored);
    ASSERT_TRUE(r.v);
    EXPECT_EQ(top, 500u);
    EXPECT_EQ(jx_view_selected_node(r), jx_doc_count(d) - 3);
    EXPECT_EQ(jx_view_count(r), jx_view_count(v));
}

}  // namespace
