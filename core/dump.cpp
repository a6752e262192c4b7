/* dump.cpp: a view's rows and state as plain text, comparable line by line
 * (the script runner writes them into its transcript). */
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "alloc.h"
#include "jx/path.h"
#include "status_int.h"
#include "view_int.h"

/* Texts taken from other modules are cut to this many bytes. */
constexpr size_t PIECE_SIZE = 512;
/* Rows are dumped this many characters wide. */
constexpr uint32_t WIDTH = 120;
/* Room that holds any line of WIDTH characters (at most 4 bytes each) and its runs. */
constexpr uint32_t LINE_BYTES = 4 * WIDTH + 64, LINE_RUNS = 2 * WIDTH + 16;

/* The built dump handed to the caller: null and 0 when any step failed, an
 * allocated empty text when nothing was put. */
static char *finish(jx_str *b, size_t *length) {
    if (!b->failed && !b->text) {
        b->text = static_cast<char *>(jx__malloc(1));
        if (b->text) b->text[0] = 0;
        else b->failed = 1;
    }
    if (b->failed) {
        str_free(b);
        return nullptr;
    }
    if (length) *length = b->length;
    return b->text;
}

static void put_number(jx_str *b, uint64_t n, const char *after) {
    char digits[32];
    const int len = std::snprintf(digits, sizeof digits, "%llu%s", static_cast<unsigned long long>(n), after);
    str_put(b, digits, size_t(len));
}

/* How the Tree view marks a row: "+" collapsed, "v" expanded, "-" nothing to open. */
static const char *marker(const JxView *v, uint32_t node) {
    if (jx_first_child(v->doc, node) == JX_NONE) return "|-|";
    return jx_rows_expanded(v->rows, node) ? "|v|" : "|+|";
}

/* A line builder gives a shorter line when memory runs out, which a dump
 * would pass off as the row's text. With room reserved for the longest line
 * first, building one never needs memory; false when the room cannot be had. */
static bool reserve_line(JxLine *line) {
    static constexpr char ZEROS[LINE_BYTES] = {};
    for (uint32_t i = 0; i < LINE_RUNS; i++) {
        if (!jx_line_add(line, " ", 1, int(i & 1))) return false;
    }
    if (!jx_line_add(line, ZEROS, LINE_BYTES, 0)) return false;
    jx_line_clear(line);
    return true;
}

char *jx_view_dump_rows(const JxView *view, uint32_t first, uint32_t count, size_t *length) {
    if (length) *length = 0;
    jx_str b = str_heap();
    const uint64_t last = std::min<uint64_t>(uint64_t(first) + count, jx_view_count(view));
    JxLine line;
    jx_line_init(&line);
    if (first < last && !reserve_line(&line)) b.failed = 1;
    for (uint64_t row = first; row < last && !b.failed; row++) {
        jx_view_line(view, uint32_t(row), WIDTH, &line);
        if (view->mode == JX_MODE_TEXT) {
            put_number(&b, row + 1, "|");
        } else {
            put_number(&b, line.depth, marker(view, line.node));
        }
        str_put(&b, line.text, line.len);
        str_put(&b, "\n");
    }
    jx_line_free(&line);
    return finish(&b, length);
}

/* Puts "\n", name and the text a (buf, size) function writes, or "-" when it is empty. */
template <typename Write>
static void put_piece(jx_str *b, const char *name, Write write) {
    char piece[PIECE_SIZE];
    piece[0] = 0;
    write(piece, sizeof piece);
    const size_t len = strnlen(piece, sizeof piece);
    str_put(b, name);
    str_put(b, len ? std::string_view(piece, len) : std::string_view("-"));
}

char *jx_view_dump_state(const JxView *view, size_t *length) {
    if (length) *length = 0;
    jx_str b = str_heap();
    if (!view) return finish(&b, length);
    const bool text = view->mode == JX_MODE_TEXT;
    str_put(&b, "mode=");
    str_put(&b, !text ? "tree" : jx_text_mode(view->text) ? "source" : "pretty");
    str_put(&b, "\nrows=");
    put_number(&b, jx_view_count(view), "\nselected=");
    if (view->selected == JX_NONE) {
        str_put(&b, "-");
    } else {
        /* A JSONPath is never empty ("$" at least): 0 means it could not be built. */
        const size_t len = jx_path(view->doc, view->selected, JX_PATH_JSONPATH, nullptr, 0);
        char *to = len ? str_reserve(&b, len) : nullptr;
        if (!to || jx_path(view->doc, view->selected, JX_PATH_JSONPATH, to, len + 1) != len) b.failed = 1;
        else str_commit(&b, len);
    }
    str_put(&b, "\nrange=");
    if (text && view->cursor_line != JX_NONE) {
        const uint32_t lo = std::min(view->anchor_line, view->cursor_line);
        const uint32_t hi = std::max(view->anchor_line, view->cursor_line);
        put_number(&b, uint64_t(lo) + 1, "-");
        put_number(&b, uint64_t(hi) + 1, "");
    } else {
        str_put(&b, "-");
    }
    put_piece(&b, "\nsearch=", [&](char *buf, size_t size) { jx_view_search_label(view, buf, size); });
    put_piece(&b, "\nerrorbar=", [&](char *buf, size_t size) { jx_errorbar_text(view->doc, buf, size); });
    put_piece(&b, "\nstatus=", [&](char *buf, size_t size) { jx_status_text(view->doc, -1, buf, size); });
    str_put(&b, "\n");
    return finish(&b, length);
}
