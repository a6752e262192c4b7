// Line building over documents whose strings are very long: the lines of 60 visible rows, as a
// redraw of the Tree view builds them, and 60 lines of the Text view, pretty and as in the file,
// must each cost under a millisecond whatever the strings' length. Two documents of the same shape
// are generated in memory, one with 4 KB strings and one with strings of --size MB (100 by
// default): plain, escaped and non-ASCII string values, huge keys plain and escaped, and collapsed
// containers whose previews start with huge strings. Before timing, every line of the long document
// is checked to equal the same line of the short one (a line shows only the start of a string) and
// a few against texts built here by hand.
//
// usage: lines_bench [--quick] [--size MB] [--runs N] [--min-seconds S]
#include <cinttypes>
#include <string>
#include <vector>

#include "bench_util.h"
#include "jx.h"

namespace {

constexpr uint32_t ROWS = 60;
constexpr uint32_t TEXT_WIDTH = 2000;  // characters of a Text view line, as the list draws them
constexpr double BUDGET_SECONDS = 1e-3;

// Patterns repeated to fill the long strings; each is whole JSON string content.
constexpr const char *PLAIN = "lorem ipsum dolor sit amet ";
constexpr const char *ESCAPED = "caf\\u00e9 \\\"q\\\" tab\\there \\ud83d\\ude00 line\\nbreak ";
constexpr const char *UNICODE = "\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80 na\xC3\xAFve ";
constexpr const char *KEY_ESCAPED = "\\u0041\\u0042 key ";

// Writes the document twice: once counting, once into the buffer.
struct Writer {
    char *out = nullptr;
    size_t at = 0;

    void put(const char *s, size_t n) {
        if (out) std::memcpy(out + at, s, n);
        at += n;
    }
    void put(const char *s) { put(s, std::strlen(s)); }
    // Whole copies of the pattern, then plain letters up to exactly n bytes.
    void fill(const char *pattern, size_t n) {
        size_t p = std::strlen(pattern), done = 0;
        for (; done + p <= n; done += p) put(pattern, p);
        for (; done < n; done++) put("x", 1);
    }
};

void write_doc(Writer &w, size_t len) {
    w.put("{\n  \"plain\": \"");
    w.fill(PLAIN, len);
    w.put("\",\n  \"escaped\": \"");
    w.fill(ESCAPED, len);
    w.put("\",\n  \"unicode\": \"");
    w.fill(UNICODE, len);
    w.put("\",\n  \"");
    w.fill(PLAIN, len);
    w.put("\": 1,\n  \"");
    w.fill(KEY_ESCAPED, len);
    w.put("\": true,\n  \"nested\": {\"inner\": \"");
    w.fill(PLAIN, len);
    w.put("\", \"n\": 2},\n  \"list\": [\"");
    w.fill(ESCAPED, len);
    w.put("\", 1]");
    // Small members of every kind make up the rest of the 60 rows.
    constexpr const char *SMALL[] = {"\"short text\"",
                                     "12345",
                                     "-0.5e10",
                                     "true",
                                     "false",
                                     "null",
                                     "[1, 2, 3]",
                                     "{\"a\": 1, \"b\": [true]}",
                                     "[]",
                                     "{}"};
    for (uint32_t i = 0; i < ROWS - 8; i++) {
        char key[32];
        std::snprintf(key, sizeof key, ",\n  \"m%02u\": ", i);
        w.put(key);
        w.put(SMALL[i % std::size(SMALL)]);
    }
    w.put("\n}\n");
}

struct Doc {
    JxDoc *doc = nullptr;
    JxRows *rows = nullptr;
    JxText *text[2] = {};  // by mode: JX_TEXT_PRETTY, JX_TEXT_FILE
    size_t bytes = 0;
    ~Doc() {
        jx_text_free(text[0]);
        jx_text_free(text[1]);
        jx_rows_free(rows);
        jx_doc_release(doc);
    }
};

bool make_doc(size_t len, Doc &d) {
    Writer measure;
    write_doc(measure, len);
    char *buf = jx_buf_alloc(measure.at);
    if (!buf) {
        std::fprintf(stderr, "lines_bench: out of memory for a %zu-byte document\n", measure.at);
        return false;
    }
    Writer fill;
    fill.out = buf;
    write_doc(fill, len);
    int status = -1;
    d.doc = jx_parse(buf, fill.at, nullptr, nullptr, &status);
    d.bytes = fill.at;
    if (!d.doc || jx_doc_error_count(d.doc) != 0) {
        std::fprintf(stderr, "lines_bench: the generated document does not parse (status %d)\n", status);
        return false;
    }
    d.rows = jx_rows_new(d.doc);
    jx_rows_expand(d.rows, 0);  // the root open, its children collapsed: the view after "collapse all"
    if (jx_rows_count(d.rows) != ROWS) {
        std::fprintf(stderr, "lines_bench: %" PRIu64 " rows instead of %u\n", jx_rows_count(d.rows), ROWS);
        return false;
    }
    for (int mode : {JX_TEXT_PRETTY, JX_TEXT_FILE}) {
        int status = -1;
        d.text[mode] = jx_text_new(d.doc, mode, nullptr, &status);
        if (!d.text[mode] || jx_text_count(d.text[mode]) < ROWS) {
            std::fprintf(stderr, "lines_bench: no Text view of %u lines (status %d)\n", ROWS, status);
            return false;
        }
    }
    return true;
}

using bench::Line;

// What is timed and compared: the Tree view's rows, or the Text view's lines in one of its modes.
enum class View { ROWS, PRETTY, FILE };

// Builds line i of the view into line.
void build(const Doc &d, View v, uint32_t i, uint32_t width, const JxSearch *s, Line &line) {
    if (v == View::ROWS)
        jx_row_line(d.rows, i, width, s, JX_NONE, &line.l);
    else
        jx_text_line(d.text[v == View::PRETTY ? JX_TEXT_PRETTY : JX_TEXT_FILE], i, width, s, JX_NONE, &line.l);
}

// Texts and runs of the first 60 lines of a view, for comparing two documents.
std::vector<std::string> all_lines(const Doc &d, View v, uint32_t width, const JxSearch *s) {
    std::vector<std::string> out;
    Line line;
    for (uint32_t r = 0; r < ROWS; r++) {
        build(d, v, r, width, s, line);
        std::string t = line.text() + " #";
        for (uint32_t i = 0; i < line.l.nruns; i++)
            t += bench::format(" %u:%u:%u:%u", line.l.runs[i].start, line.l.runs[i].length,
                               line.l.runs[i].style, line.l.runs[i].hit);
        out.push_back(t);
    }
    return out;
}

std::string repeat_to(const char *pattern, size_t chars) {
    std::string out;
    while (out.size() < chars) out += pattern;
    out.resize(chars);
    return out;
}

bool check(const Doc &shrt, const Doc &lng, const JxSearch *s_short, const JxSearch *s_long) {
    bool ok = true;
    struct Compared {
        View view;
        uint32_t width;
        const char *name;
    };
    const Compared compared[] = {{View::ROWS, 120, "rows"},
                                 {View::ROWS, 1000, "rows"},
                                 {View::PRETTY, TEXT_WIDTH, "pretty Text view lines"},
                                 {View::FILE, TEXT_WIDTH, "as-in-file Text view lines"}};
    for (const Compared &c : compared) {
        if (all_lines(shrt, c.view, c.width, s_short) != all_lines(lng, c.view, c.width, s_long) ||
            all_lines(shrt, c.view, c.width, nullptr) != all_lines(lng, c.view, c.width, nullptr)) {
            std::printf("INVALID: %s %u wide differ between the short and the long document\n", c.name, c.width);
            ok = false;
        }
    }
    const std::string ell = "\xE2\x80\xA6";
    Line line;
    struct Want {
        View view;
        uint32_t row;
        uint32_t width;
        std::string text;
    };
    const Want wants[] = {
        {View::ROWS, 1, 120, "plain: \"" + repeat_to(PLAIN, 110) + ell + "\""},
        {View::ROWS, 1, 1000, "plain: \"" + repeat_to(PLAIN, 500) + ell + "\""},
        {View::ROWS, 4, 120, repeat_to(PLAIN, 119) + ell},
        {View::ROWS, 6, 120, "nested: {2}  {inner: \"" + repeat_to(PLAIN, 24) + ell + "\", n: 2}"},
        {View::PRETTY, 1, TEXT_WIDTH, "  \"plain\": \"" + repeat_to(PLAIN, TEXT_WIDTH - 13) + ell},
        {View::FILE, 4, TEXT_WIDTH, "  \"" + repeat_to(PLAIN, TEXT_WIDTH - 4) + ell},
    };
    for (const Want &w : wants) {
        build(lng, w.view, w.row, w.width, nullptr, line);
        if (line.text() != w.text) {
            std::printf("INVALID: %s %u at width %u reads\n  %s\nexpected\n  %s\n",
                        w.view == View::ROWS ? "row" : "Text view line", w.row, w.width, line.text().c_str(),
                        w.text.c_str());
            ok = false;
        }
    }
    return ok;
}

struct Config {
    bool quick = false;
    size_t size_mb = 100;
    bench::Plan plan{20, 20000, 0.5};
};

bool parse_args(int argc, char **argv, Config &cfg, int *exit_code) {
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help") {
            std::printf(
                "usage: lines_bench [--quick] [--size MB] [--runs N] [--min-seconds S]\n"
                "  --quick          strings of 1 MB instead of --size\n"
                "  --size MB        length of the long strings (default 100)\n"
                "  --runs N         at least N timed runs of each case (default 20)\n"
                "  --min-seconds S  time each case for at least S seconds (default 0.5)\n");
            *exit_code = 0;
            return false;
        } else if (a == "--quick") {
            cfg.quick = true;
        } else if (a == "--size" && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
            cfg.size_mb = size_t(std::atoi(argv[++i]));
        } else if (a == "--runs" && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
            cfg.plan.min_runs = std::atoi(argv[++i]);
        } else if (a == "--min-seconds" && i + 1 < argc) {
            cfg.plan.min_seconds = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr, "lines_bench: unknown argument '%s' (try --help)\n", a.c_str());
            *exit_code = 2;
            return false;
        }
    }
    if (cfg.quick) cfg.size_mb = 1;
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    Config cfg;
    int exit_code = 0;
    if (!parse_args(argc, argv, cfg, &exit_code)) return exit_code;
    bench::print_banner("lines_bench: 60 visible rows and Text view lines over documents of long strings");

    const size_t long_len = cfg.size_mb << 20, short_len = 4096;
    Doc shrt, lng;
    auto t0 = bench::Clock::now();
    if (!make_doc(short_len, shrt) || !make_doc(long_len, lng)) return 1;
    std::printf(
        "documents: strings of %s and %s bytes; %s and %s bytes in all (generated and parsed in %.1f s)\n",
        bench::grouped(short_len).c_str(), bench::grouped(long_len).c_str(),
        bench::grouped(shrt.bytes).c_str(), bench::grouped(lng.bytes).c_str(), bench::seconds_since(t0));

    // A query that matches all through the long strings, so marking has work on every shown value.
    const char *query = "i";
    JxSearch *s_short = jx_search_new(shrt.doc, query, 1, nullptr, nullptr, 0);
    JxSearch *s_long = jx_search_new(lng.doc, query, 1, nullptr, nullptr, 0);
    if (!s_short || !s_long || !check(shrt, lng, s_short, s_long)) {
        jx_search_free(s_short);
        jx_search_free(s_long);
        return 1;
    }

    struct Case {
        const char *name;
        View view;
        uint32_t width;
        bool search;
    };
    const Case cases[] = {{"60 rows/w120", View::ROWS, 120, false},
                          {"60 rows/w1000", View::ROWS, 1000, false},
                          {"60 rows/w120/hits", View::ROWS, 120, true},
                          {"60 rows/w1000/hits", View::ROWS, 1000, true},
                          {"60 text/pretty/w2000", View::PRETTY, TEXT_WIDTH, false},
                          {"60 text/pretty/w2000/hits", View::PRETTY, TEXT_WIDTH, true},
                          {"60 text/file/w2000", View::FILE, TEXT_WIDTH, false},
                          {"60 text/file/w2000/hits", View::FILE, TEXT_WIDTH, true}};
    bench::Table table;
    table.add({"case", "strings", "best us", "median us", "us/line", "lines/s", "long/short"});
    bool rows_within = true, text_within = true;
    double rows_worst = 0, text_worst = 0;
    Line line;
    for (const Case &c : cases) {
        double short_best = 0;
        for (const Doc *d : {&shrt, &lng}) {
            const JxSearch *s = c.search ? (d == &shrt ? s_short : s_long) : nullptr;
            bench::Timings t = bench::measure_all(cfg.plan, [&] {
                for (uint32_t r = 0; r < ROWS; r++) build(*d, c.view, r, c.width, s, line);
                bench::keep(line.l.len);
            });
            bool is_long = d == &lng;
            if (!is_long) short_best = t.best();
            table.add({c.name, is_long ? bench::format("%zu MB", cfg.size_mb) : "4 KB",
                       bench::format("%.1f", t.best() * 1e6), bench::format("%.1f", t.median() * 1e6),
                       bench::format("%.2f", t.best() * 1e6 / ROWS),
                       bench::grouped(uint64_t(ROWS / t.best())),
                       is_long ? bench::format("%.2fx", t.best() / short_best) : ""});
            if (!is_long) continue;
            bool rows = c.view == View::ROWS;
            (rows ? rows_worst : text_worst) = std::max(rows ? rows_worst : text_worst, t.median());
            if (t.median() > BUDGET_SECONDS) (rows ? rows_within : text_within) = false;
        }
    }
    std::printf("\n");
    table.print();
    std::printf("\ntarget: 60 rows of %zu MB strings in under 1 ms (median): %.3f ms at worst: %s\n", cfg.size_mb,
                rows_worst * 1e3, rows_within ? "met" : "NOT MET");
    std::printf(
        "target: 60 Text view lines (pretty, as in the file) of %zu MB strings at %s characters in under 1 ms "
        "(median): %.3f ms at worst: %s\n",
        cfg.size_mb, bench::grouped(TEXT_WIDTH).c_str(), text_worst * 1e3, text_within ? "met" : "NOT MET");
    jx_search_free(s_short);
    jx_search_free(s_long);
    return 0;
}
