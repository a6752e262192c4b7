// Helpers shared by the core's unit tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "jx.h"

namespace jxtest {

// Parses text (copied into a jx_buf_alloc buffer). Returns null on a failed parse.
JxDoc *parse(std::string_view text, bool strict = false, bool lines = false, int *status = nullptr);

// Reads a whole file; empty on failure (ok set false).
std::string read_file(const std::string &path, bool *ok = nullptr);

// Path of a shared resource (corpus, conformance) or a bundled sample.
std::string shared_path(const std::string &rel);
std::string sample_path(const std::string &rel);
// The regular files below a shared folder, sorted; none when the folder is missing.
std::vector<std::filesystem::path> files_under(const std::string &rel);

// Owns a document for the length of a test.
struct Doc {
    JxDoc *doc;
    explicit Doc(JxDoc *d) : doc(d) {}
    Doc(std::string_view text, bool strict = false, bool lines = false)
        : doc(parse(text, strict, lines)) {}
    ~Doc() { jx_doc_release(doc); }
    Doc(const Doc &) = delete;
    Doc &operator=(const Doc &) = delete;
    operator JxDoc *() const { return doc; }
};

// The message of problem i, or "" when there is none.
std::string problem_message(const JxDoc *doc, uint32_t i);

// A node's key or value text through a measure-then-fill call (jx_key_text, jx_val_text).
std::string node_text(size_t (*get)(const JxDoc *, uint32_t, char *, size_t), const JxDoc *d, uint32_t id);

// Fault injection: for allocation n = 1, 2, ... failing once, then from n on, calls step(n, persistent)
// until a run meets no failure. The step sets up, arms the hook with fail_at(n, persistent) right before
// the operation, checks the outcome and returns disarm(). The sanitizer build reports any leak.
void each_failure(const std::function<bool(uint64_t n, bool persistent)> &step);
void fail_at(uint64_t n, bool persistent);
// Switches injected failures off; true when one happened since fail_at.
bool disarm();

// Owns a line for the length of a test.
struct Line {
    JxLine l;
    Line() { jx_line_init(&l); }
    ~Line() { jx_line_free(&l); }
    std::string text() const { return std::string(l.text, l.len); }
};

// A styled line run by run: "text|style", plus "|hit" on marked runs.
using Runs = std::vector<std::string>;
Runs runs_of(const JxLine &line);

// What every line keeps, whatever happened while it was built: runs cover the text without gaps,
// start on characters, and the text is valid UTF-8 with a zero byte after it.
void expect_sound(const JxLine &line);

// Owns a view (over a document the caller keeps) for the length of a test.
struct View {
    JxView *v;
    explicit View(JxDoc *d) : v(jx_view_new(d)) {}
    explicit View(JxView *view) : v(view) {}
    ~View() { jx_view_free(v); }
    View(const View &) = delete;
    View &operator=(const View &) = delete;
    operator JxView *() const { return v; }
};

// Everything a view shows or remembers, as one comparable text: mode, selection, Text view lines,
// history, search following, typed text and the visible rows with their expansion.
std::string view_state(const JxView *view);

// A random regular expression in Oniguruma's syntax, which may not compile: literals (ASCII and
// characters that Oniguruma folds onto ASCII), classes, anchors, groups, alternation, quantifiers,
// inline options.
std::string random_pattern(std::mt19937 &rng);

}  // namespace jxtest
