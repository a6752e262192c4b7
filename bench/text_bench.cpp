// The Text view and the inspector against their targets:
//  - the pretty model of the generated file builds in at most 0.4 of the file's parse time in the
//    same run, and keeps 4 bytes per line and nothing else;
//  - the as-in-file model keeps one bit per line of a document with comments, nothing without;
//  - 60 Tree rows at 120 characters and 60 Text view lines at 2,000 characters, both modes, at the
//    bottom of documents 99,990 levels deep take under 1 ms (lines_bench does the same over
//    documents of 100 MB strings);
//  - the inspector's text of the generated file's root takes under 50 ms and 3 MB.
// Memory is counted through malloc (bench_alloc.h), in usable bytes. Every model and line is
// checked against what the document says it must be before anything is timed.
//
// usage: text_bench [--quick] [--runs N] [--min-seconds S] [--data DIR]
#include <algorithm>
#include <cinttypes>
#include <string>
#include <vector>

#include "bench_alloc.h"
#include "bench_generate.h"
#include "bench_util.h"
#include "jx.h"

namespace {

constexpr const char *PROGRAM = "text_bench";
constexpr double BUILD_RATIO = 0.4;
constexpr double LINES_BUDGET = 1e-3;
constexpr double INSPECT_BUDGET = 50e-3;
constexpr int64_t INSPECT_MEMORY = 3000000;
// What the allocator may add to a model's one large block by rounding it up: a page.
constexpr int64_t ROUNDING = 4096;
// A handle is a few dozen bytes; more would be something kept per line or per node.
constexpr int64_t HANDLE_MAX = 256;
constexpr uint32_t DEPTH = 99990;
constexpr uint32_t SHOWN = 60;
constexpr uint32_t TREE_WIDTH = 120;
constexpr uint32_t TEXT_WIDTH = 2000;
constexpr uint32_t MAX_LEVEL = 40;  // the Text view indents no deeper
constexpr uint64_t QUICK_SIZE = uint64_t(8) << 20;
constexpr uint64_t COMMENTED_SIZE = uint64_t(64) << 20;
constexpr uint64_t QUICK_COMMENTED_SIZE = uint64_t(4) << 20;

using bench::Line;

// The target lines, printed together at the end.
struct Targets {
    std::vector<std::string> lines;
    void add(const std::string &what, const std::string &figure, bool met) {
        lines.push_back("target: " + what + ": " + figure + ": " + (met ? "met" : "NOT MET"));
    }
    void not_measured(const std::string &what, const char *why) {
        lines.push_back("target: " + what + ": not measured (" + why + ")");
    }
};

// A parsed document that releases itself.
struct Doc {
    JxDoc *doc = nullptr;
    size_t bytes = 0;
    Doc() = default;
    Doc(const Doc &) = delete;
    Doc &operator=(const Doc &) = delete;
    ~Doc() { jx_doc_release(doc); }
};

// Parses text into d; false after an INVALID line when it does not parse cleanly.
bool parse(const std::string &text, const char *name, Doc &d) {
    int status = -1;
    d.doc = bench::parse_copy(text.data(), text.size(), &status);
    d.bytes = text.size();
    if (!d.doc || jx_doc_error_count(d.doc) || jx_doc_count(d.doc) == 0) {
        const jx_problem *p = jx_doc_error(d.doc, 0);
        std::printf("INVALID: %s: status %d, %s nodes, first problem: %s\n", name, status,
                    bench::grouped(jx_doc_count(d.doc)).c_str(), p ? p->message : "none");
        return false;
    }
    return true;
}

// A text model that frees itself.
struct Text {
    JxText *t = nullptr;
    Text() = default;
    Text(const Text &) = delete;
    Text &operator=(const Text &) = delete;
    ~Text() { jx_text_free(t); }
};

// Builds the model, counting what it keeps and the most it needed on the way; false after an INVALID
// line when it cannot be built.
bool build(JxDoc *doc, int mode, const char *name, Text &text, bench::AllocUse *use) {
    int status = -1;
    bench::AllocUse u = bench::alloc_use([&] { text.t = jx_text_new(doc, mode, nullptr, &status); });
    if (use) *use = u;
    if (!text.t || status != JX_OK) {
        std::printf("INVALID: %s: jx_text_new(%s) failed with status %d\n", name,
                    mode == JX_TEXT_PRETTY ? "pretty" : "file", status);
        return false;
    }
    return true;
}

// ---- checks ----

uint32_t start_of(JxDoc *doc, uint32_t id) {
    return jx_has_key(doc, id) ? jx_key_offset(doc, id) : jx_val_offset(doc, id);
}

// The pretty model's lines as the document orders them: each node's opening line and, after the
// last node of a subtree, the closing lines of the containers it ends, innermost first. Every line's
// node is compared, and the closing flag and indentation of every 997th line and of the first and
// last few.
bool check_pretty(JxDoc *doc, JxText *t, const char *name) {
    const uint32_t count = jx_doc_count(doc), lines = jx_text_count(t);
    uint32_t k = 0;
    Line line;
    auto wrong = [&](const char *what) {
        std::printf("INVALID: %s: pretty line %s: %s\n", name, bench::grouped(k).c_str(), what);
        return false;
    };
    auto expect = [&](uint32_t node, bool closing) {
        if (k >= lines) return wrong("missing");
        if (jx_text_node_of(t, k) != node) return wrong("shows the wrong node");
        if (k % 997 == 0 || k < SHOWN || k + SHOWN >= lines) {
            jx_text_line(t, k, 0, nullptr, JX_NONE, &line.l);
            uint32_t level = std::min(jx_depth(doc, node), MAX_LEVEL), indent = 0;
            while (indent < line.l.len && line.l.text[indent] == ' ') indent++;
            if (line.l.node != node || line.l.closing != closing || line.l.number != k + 1)
                return wrong("has the wrong node, closing flag or number");
            if (indent != 2 * level) return wrong("has the wrong indentation");
            if (closing && line.text().substr(indent, 1) != (jx_type(doc, node) == JX_OBJECT ? "}" : "]"))
                return wrong("does not close its container");
        }
        k++;
        return true;
    };
    for (uint32_t id = 0; id < count; id++) {
        if (!expect(id, false)) return false;
        if (jx_end(doc, id) > id + 1) continue;
        for (uint32_t p = jx_parent(doc, id); p != JX_NONE && jx_end(doc, p) == id + 1; p = jx_parent(doc, p))
            if (!expect(p, true)) return false;
    }
    if (k != lines) return wrong("is one too many");
    return true;
}

// Lines of the file model read as the file's bytes: checked on the lines given.
bool check_file_lines(JxDoc *doc, JxText *t, const std::vector<uint32_t> &which, const char *name) {
    if (jx_text_count(t) != jx_doc_line_count(doc)) {
        std::printf("INVALID: %s: the file model has %u lines, the document %u\n", name, jx_text_count(t),
                    jx_doc_line_count(doc));
        return false;
    }
    Line line;
    for (uint32_t i : which) {
        uint32_t a = jx_doc_line_start(doc, i), b = jx_doc_line_start(doc, i + 1);
        std::string want(jx_doc_text(doc) + a, b - a);
        while (!want.empty() && (want.back() == '\n' || want.back() == '\r')) want.pop_back();
        jx_text_line(t, i, 0, nullptr, JX_NONE, &line.l);
        if (line.text() != want) {
            std::printf("INVALID: %s: line %u as in the file reads\n  %s\nexpected\n  %s\n", name, i,
                        line.text().c_str(), want.c_str());
            return false;
        }
    }
    return true;
}

// The line holding the first occurrence of what in the document, or JX_NONE.
uint32_t line_with(JxDoc *doc, const char *what) {
    const char *s = jx_doc_text(doc);
    const char *at = std::strstr(s, what);
    return at ? jx_doc_line_of(doc, uint32_t(at - s)) : JX_NONE;
}

// A line inside a block comment must read as a comment, which the comment bits tell.
bool check_comment_line(JxDoc *doc, JxText *t, const char *name) {
    uint32_t i = line_with(doc, "legacy store */");
    Line line;
    jx_text_line(t, i, 0, nullptr, JX_NONE, &line.l);
    bool note = line.l.nruns > 0;
    for (uint32_t r = 0; r < line.l.nruns; r++)
        if (line.l.runs[r].style != JX_STYLE_NOTE && line.text().substr(line.l.runs[r].start, 1) != " ")
            note = false;
    if (i == JX_NONE || !note) {
        std::printf("INVALID: %s: the second line of a block comment does not read as a comment\n", name);
        return false;
    }
    return check_file_lines(doc, t, {i, i - 1, line_with(doc, "// record 5\n")}, name);
}

// ---- the generated file and its commented variant ----

struct Figures {
    int64_t handle = -1;  // what a model keeps with nothing per line: the as-in-file model without comments
};

// Memory of the models of the large document, timing of its pretty model against its parse.
bool run_generated(const std::string &text, const char *name, const bench::CorpusOptions &cfg, Targets &targets,
                   Figures &fig) {
    Doc d;
    if (!parse(text, name, d)) return false;
    const uint32_t lines_in_file = jx_doc_line_count(d.doc);
    std::printf("\n%s: %s bytes, %s nodes, %s lines\n", name, bench::grouped(d.bytes).c_str(),
                bench::grouped(jx_doc_count(d.doc)).c_str(), bench::grouped(lines_in_file).c_str());

    Text pretty, file;
    bench::AllocUse pretty_use, file_use;
    if (!build(d.doc, JX_TEXT_PRETTY, name, pretty, &pretty_use) || !check_pretty(d.doc, pretty.t, name))
        return false;
    if (!build(d.doc, JX_TEXT_FILE, name, file, &file_use)) return false;
    std::vector<uint32_t> sample;
    for (uint32_t i = 0; i < lines_in_file; i += std::max(1u, lines_in_file / 1000)) sample.push_back(i);
    sample.push_back(lines_in_file - 1);
    if (!check_file_lines(d.doc, file.t, sample, name)) return false;
    const uint32_t lines = jx_text_count(pretty.t);
    fig.handle = file_use.kept;

    // Timing: both include their teardown (jx_doc_release, jx_text_free).
    bench::Timings parse_t =
        bench::measure(cfg.large, [&] { return bench::timed_parse(text.data(), text.size(), PROGRAM); });
    bench::Timings build_t = bench::measure_all(cfg.large, [&] {
        JxText *t = jx_text_new(d.doc, JX_TEXT_PRETTY, nullptr, nullptr);
        bench::keep(jx_text_count(t));
        jx_text_free(t);
    });
    bench::Table table;
    table.add({"benchmark", "best ms", "median ms", "runs", "MB/s", "of parse"});
    table.add({"parse", bench::format("%.1f", parse_t.best() * 1e3), bench::format("%.1f", parse_t.median() * 1e3),
               std::to_string(parse_t.runs.size()), bench::format("%.1f", bench::mb_per_s(d.bytes, parse_t.best())),
               ""});
    const double ratio = build_t.best() / parse_t.best();
    table.add({"text/pretty build", bench::format("%.1f", build_t.best() * 1e3),
               bench::format("%.1f", build_t.median() * 1e3), std::to_string(build_t.runs.size()),
               bench::format("%.1f", bench::mb_per_s(d.bytes, build_t.best())), bench::format("%.3fx", ratio)});
    table.print();
    targets.add(bench::format("pretty model of %s builds in <= %.1f of its parse (best)", name, BUILD_RATIO),
                bench::format("%.3f (%.1f ms against %.1f ms)", ratio, build_t.best() * 1e3, parse_t.best() * 1e3),
                ratio <= BUILD_RATIO);

    const std::string what = bench::format("pretty model of %s keeps 4 bytes per line and nothing else", name);
    if (!bench::alloc_counting()) {
        targets.not_measured(what, "allocations are not counted in a sanitizer build");
        return true;
    }
    const int64_t beyond = pretty_use.kept - fig.handle - 4 * int64_t(lines);
    const int64_t transient = pretty_use.peak - pretty_use.kept;
    std::printf("  memory: pretty model %s bytes for %s lines (%.4f bytes/line), +%s bytes beyond the handle and "
                "4 per line; +%s more at its peak while building\n",
                bench::grouped(pretty_use.kept).c_str(), bench::grouped(lines).c_str(),
                double(pretty_use.kept) / lines, bench::grouped(std::max<int64_t>(beyond, 0)).c_str(),
                bench::grouped(transient).c_str());
    std::printf("  memory: as-in-file model %s bytes (the handle), %s more at its peak\n",
                bench::grouped(file_use.kept).c_str(), bench::grouped(file_use.peak - file_use.kept).c_str());
    targets.add(what,
                bench::format("%.4f bytes/line; %s bytes beyond the %s-byte handle and 4 per line; %s more while "
                              "building",
                              double(pretty_use.kept) / lines, bench::grouped(std::max<int64_t>(beyond, 0)).c_str(),
                              bench::grouped(fig.handle).c_str(), bench::grouped(transient).c_str()),
                beyond <= ROUNDING && transient <= ROUNDING && fig.handle <= HANDLE_MAX);
    targets.add(bench::format("as-in-file model of %s (no comments) keeps nothing but its handle", name),
                bench::format("%s bytes, %s more while building", bench::grouped(file_use.kept).c_str(),
                              bench::grouped(file_use.peak - file_use.kept).c_str()),
                fig.handle <= HANDLE_MAX && file_use.peak - file_use.kept <= ROUNDING);
    return true;
}

// The as-in-file model of the same records with comments: one bit per line.
bool run_commented(const std::string &text, const char *name, Targets &targets, const Figures &fig) {
    Doc d;
    if (!parse(text, name, d)) return false;
    const uint32_t lines = jx_doc_line_count(d.doc);
    std::printf("\n%s: %s bytes, %s nodes, %s lines\n", name, bench::grouped(d.bytes).c_str(),
                bench::grouped(jx_doc_count(d.doc)).c_str(), bench::grouped(lines).c_str());
    if (!(jx_doc_syntax(d.doc) & JX_SYNTAX_COMMENTS)) {
        std::printf("INVALID: %s: the document has no comments\n", name);
        return false;
    }
    Text file;
    bench::AllocUse use;
    if (!build(d.doc, JX_TEXT_FILE, name, file, &use) || !check_comment_line(d.doc, file.t, name)) return false;
    const std::string what = bench::format("as-in-file model of %s keeps 1 bit per line", name);
    if (!bench::alloc_counting() || fig.handle < 0) {
        targets.not_measured(what, "allocations are not counted in a sanitizer build");
        return true;
    }
    const int64_t bits = (use.kept - fig.handle) * 8;
    std::printf("  memory: as-in-file model %s bytes: the handle and %.4f bits per line; %s more at its peak\n",
                bench::grouped(use.kept).c_str(), double(bits) / lines, bench::grouped(use.peak - use.kept).c_str());
    const int64_t words = (int64_t(lines) + 63) / 64 * 8;
    targets.add(what,
                bench::format("%.4f bits/line (%s bytes beyond the handle for %s lines), %s more while building",
                              double(bits) / lines, bench::grouped(use.kept - fig.handle).c_str(),
                              bench::grouped(lines).c_str(), bench::grouped(use.peak - use.kept).c_str()),
                use.kept - fig.handle <= words + ROUNDING && use.peak - use.kept <= ROUNDING);
    return true;
}

// The inspector's text of the root: its time and the most memory it takes.
bool run_inspect(const std::string &text, const char *name, const bench::Plan &plan, Targets &targets) {
    Doc d;
    if (!parse(text, name, d)) return false;
    size_t length = 0;
    char *body = nullptr;
    bench::AllocUse use = bench::alloc_use([&] { body = jx_inspect_text(d.doc, 0, JX_PATH_JAVASCRIPT, &length); });
    std::string shown = body ? std::string(body, length) : "";
    std::free(body);
    const size_t blank = shown.find("\n\n");
    if (blank == std::string::npos || shown.compare(blank + 2, 6, "[\n  {\n") != 0 ||
        shown.find("\"id\": 1,") == std::string::npos || length > JX_INSPECT_CAP + 4096 ||
        (d.bytes > JX_INSPECT_CAP && shown.find("Showing the first 2 MB of ") == std::string::npos)) {
        std::printf("INVALID: %s: the inspector's text of the root starts\n%s\n", name, shown.substr(0, 300).c_str());
        return false;
    }
    bench::Timings t = bench::measure_all(plan, [&] {
        char *b = jx_inspect_text(d.doc, 0, JX_PATH_JAVASCRIPT, nullptr);
        bench::keep(b);
        std::free(b);
    });
    std::printf("\ninspector text of the root of %s: %s bytes; best %.2f ms, median %.2f ms (%zu runs)\n", name,
                bench::grouped(length).c_str(), t.best() * 1e3, t.median() * 1e3, t.runs.size());
    targets.add(bench::format("inspector text of the root of %s in under 50 ms (median)", name),
                bench::format("%.2f ms", t.median() * 1e3), t.median() < INSPECT_BUDGET);
    const std::string what = bench::format("inspector text of the root of %s in under 3 MB (peak)", name);
    if (!bench::alloc_counting()) {
        targets.not_measured(what, "allocations are not counted in a sanitizer build");
        return true;
    }
    std::printf("  memory: peak %s bytes, %s kept (the text)\n", bench::grouped(use.peak).c_str(),
                bench::grouped(use.kept).c_str());
    targets.add(what, bench::format("%.2f MB", use.peak / 1e6), use.peak < INSPECT_MEMORY);
    return true;
}

// ---- documents 99,990 levels deep ----

enum class Deep { ARRAYS, OBJECTS, COMMENTED };

const char *deep_name(Deep kind) {
    switch (kind) {
        case Deep::ARRAYS: return "deep-arrays";
        case Deep::OBJECTS: return "deep-objects";
        default: return "deep-commented";
    }
}

// One opening bracket per line, the innermost value, then one closing bracket per line; the
// commented variant puts line comments after half the closing brackets and a block comment over
// two lines between every tenth pair.
std::string deep_text(Deep kind) {
    std::string s;
    for (uint32_t i = 0; i < DEPTH; i++) s += kind == Deep::OBJECTS ? "{\"key\":\n" : "[\n";
    s += "1\n";
    for (uint32_t level = DEPTH; level-- > 0;) {
        s += kind == Deep::OBJECTS ? "}" : "]";
        if (kind == Deep::COMMENTED && level % 2) s += " // closes level " + std::to_string(level);
        s += '\n';
        if (kind == Deep::COMMENTED && level % 10 == 0 && level) s += "/* between\n   levels */\n";
    }
    return s;
}

// The node a line as in the file shows, worked out from the text: the first node starting on the
// line, else the scalar reaching into it (its key on a line before), else the container that the
// first closing bracket from the line's start closes. Holds in
// these documents, whose comments and keys hold no brackets: the k-th closing bracket closes
// container DEPTH - 1 - k.
struct FileOwners {
    JxDoc *doc;
    std::vector<uint32_t> starts;  // by node
    std::vector<uint32_t> closer;  // by offset: the container closed there, or JX_NONE

    explicit FileOwners(JxDoc *d) : doc(d), closer(jx_doc_size(d), JX_NONE) {
        for (uint32_t id = 0; id < jx_doc_count(d); id++) starts.push_back(start_of(d, id));
        const char *s = jx_doc_text(d);
        uint32_t k = 0;
        for (uint32_t at = 0; at < closer.size() && k < DEPTH; at++)
            if (s[at] == ']' || s[at] == '}') closer[at] = DEPTH - 1 - k++;
    }
    uint32_t of(uint32_t line) const {
        uint32_t a = jx_doc_line_start(doc, line), b = jx_doc_line_start(doc, line + 1);
        auto it = std::lower_bound(starts.begin(), starts.end(), a);
        if (it != starts.end() && *it < b) return uint32_t(it - starts.begin());
        if (it != starts.begin()) {
            const uint32_t p = uint32_t(it - starts.begin()) - 1;
            if (jx_type(doc, p) > JX_ARRAY && jx_val_offset(doc, p) < b &&
                jx_val_offset(doc, p) + jx_val_len(doc, p) > a)
                return p;
        }
        const char *s = jx_doc_text(doc);
        for (uint32_t at = a; at < closer.size(); at++)
            if (s[at] == ']' || s[at] == '}') return closer[at];
        return JX_NONE;
    }
};

struct DeepCase {
    std::string name;
    double best = 0, median = 0;
};

// Checks and times 60 rows or lines of each view of one deep document.
bool run_deep(Deep kind, const bench::Plan &plan, std::vector<DeepCase> &cases) {
    const char *name = deep_name(kind);
    const std::string text = deep_text(kind);
    Doc d;
    if (!parse(text, name, d)) return false;
    const uint32_t count = jx_doc_count(d.doc);
    if (count != DEPTH + 1 || jx_depth(d.doc, DEPTH) != DEPTH ||
        bool(jx_doc_syntax(d.doc) & JX_SYNTAX_COMMENTS) != (kind == Deep::COMMENTED)) {
        std::printf("INVALID: %s: %u nodes, the innermost %u deep\n", name, count, jx_depth(d.doc, count - 1));
        return false;
    }
    JxRows *rows = jx_rows_new(d.doc);
    jx_rows_expand_all(rows);
    Text pretty, file;
    bool ok = rows && jx_rows_count(rows) == count && build(d.doc, JX_TEXT_PRETTY, name, pretty, nullptr) &&
              build(d.doc, JX_TEXT_FILE, name, file, nullptr) && check_pretty(d.doc, pretty.t, name);
    const FileOwners owners(d.doc);
    const uint32_t file_lines = jx_text_count(file.t), pretty_lines = jx_text_count(pretty.t);
    const uint32_t innermost_line = jx_doc_line_of(d.doc, jx_val_offset(d.doc, DEPTH));

    // The tree's bottom rows are the deepest nodes; the text's last lines close the outermost
    // containers, far down a run of closing brackets; its innermost lines are around the value.
    enum View { TREE, PRETTY, FILE };
    struct Case {
        const char *label;
        View view;
        uint32_t first;
    };
    const Case views[] = {{"tree/w120/bottom", TREE, count - SHOWN},
                          {"text/pretty/w2000/bottom", PRETTY, pretty_lines - SHOWN},
                          {"text/pretty/w2000/innermost", PRETTY, DEPTH - SHOWN / 2},
                          {"text/file/w2000/bottom", FILE, file_lines - SHOWN},
                          {"text/file/w2000/innermost", FILE, innermost_line - SHOWN / 2}};
    Line line;
    auto draw = [&](const Case &c, uint32_t i) {
        if (c.view == TREE)
            jx_row_line(rows, i, TREE_WIDTH, nullptr, JX_NONE, &line.l);
        else
            jx_text_line(c.view == PRETTY ? pretty.t : file.t, i, TEXT_WIDTH, nullptr, JX_NONE, &line.l);
    };
    std::vector<uint32_t> checked;
    for (const Case &c : views) {
        for (uint32_t i = c.first; ok && i < c.first + SHOWN; i++) {
            draw(c, i);
            uint32_t want = c.view == TREE ? uint32_t(jx_rows_node(rows, i))
                                           : c.view == FILE ? owners.of(i) : jx_text_node_of(pretty.t, i);
            bool good = line.l.node == want && (line.l.len > 0 || c.view == FILE);
            if (c.view == TREE) good = good && line.l.depth == jx_depth(d.doc, want) && jx_line_chars(&line.l) <= TREE_WIDTH;
            if (c.view == FILE) checked.push_back(i);
            if (!good) {
                std::printf("INVALID: %s: %s line %u shows node %u, not %u: %s\n", name, c.label, i, line.l.node,
                            want, line.text().c_str());
                ok = false;
            }
        }
    }
    ok = ok && check_file_lines(d.doc, file.t, checked, name);
    for (const Case &c : views) {
        if (!ok) break;
        bench::Timings t = bench::measure_all(plan, [&] {
            for (uint32_t i = c.first; i < c.first + SHOWN; i++) draw(c, i);
            bench::keep(line.l.len);
        });
        cases.push_back({bench::format("%s %s", name, c.label), t.best(), t.median()});
    }
    jx_rows_free(rows);
    return ok;
}

}  // namespace

int main(int argc, char **argv) {
    bench::CorpusOptions cfg;
    cfg.small = {10, 2000, 0.3};
    cfg.large = {3, 3, 0};
    cfg.takes_files = false;
    cfg.quick_help = "a generated file of 8 MiB instead of the 512 MiB one";
    int exit_code = 0;
    if (!bench::parse_corpus_args(argc, argv, PROGRAM, "case", cfg, &exit_code)) return exit_code;

    bench::print_banner("orvel Text view and inspector benchmark");
    std::printf(
        "method:    parse = jx_buf_alloc + jx_parse + jx_doc_release (parse_bench's orvel/cold); build =\n"
        "           jx_text_new + jx_text_free; memory = bytes allocated through malloc, in usable sizes;\n"
        "           the handle = what the as-in-file model of a file without comments keeps.\n");

    bool ok = true;
    Targets targets;
    Figures fig;
    std::string text;
    std::string name;
    if (cfg.quick) {
        text = bench::generated_text(QUICK_SIZE, false);
        name = "generated 8 MiB";
    } else {
        std::string path = bench::ensure_generated(cfg.data_dir, PROGRAM);
        if (path.empty()) return 2;
        if (!bench::read_file(path, text)) {
            std::fprintf(stderr, "%s: cannot read '%s': %s\n", PROGRAM, path.c_str(), std::strerror(errno));
            return 2;
        }
        name = bench::GENERATED_NAME;
    }
    ok = run_generated(text, name.c_str(), cfg, targets, fig) && ok;
    ok = run_inspect(text, name.c_str(), cfg.small, targets) && ok;
    // The same records with comments; with fewer nodes than the inspector measures in full, its root
    // is where the inspector's work is greatest.
    text = bench::generated_text(cfg.quick ? QUICK_COMMENTED_SIZE : COMMENTED_SIZE, true);
    name = cfg.quick ? "commented 4 MiB" : "commented 64 MiB";
    ok = run_commented(text, name.c_str(), targets, fig) && ok;
    ok = run_inspect(text, name.c_str(), cfg.small, targets) && ok;
    text = std::string();

    std::vector<DeepCase> deep;
    for (Deep kind : {Deep::ARRAYS, Deep::OBJECTS, Deep::COMMENTED}) ok = run_deep(kind, cfg.small, deep) && ok;
    std::printf("\n60 rows (Tree, %u characters) or lines (Text view, %s characters) %s levels deep\n", TREE_WIDTH,
                bench::grouped(TEXT_WIDTH).c_str(), bench::grouped(DEPTH).c_str());
    bench::Table table;
    table.add({"case", "best us", "median us", "us/line", "under 1 ms"});
    for (const DeepCase &c : deep) {
        table.add({c.name, bench::format("%.1f", c.best * 1e6), bench::format("%.1f", c.median * 1e6),
                   bench::format("%.2f", c.median * 1e6 / SHOWN), c.median < LINES_BUDGET ? "yes" : "NO"});
    }
    table.print();
    for (const DeepCase &c : deep)
        targets.add("60 lines of " + c.name + " in under 1 ms (median)", bench::format("%.3f ms", c.median * 1e3),
                    c.median < LINES_BUDGET);

    std::printf("\n");
    for (const std::string &l : targets.lines) std::printf("%s\n", l.c_str());
    return bench::finish(ok);
}
