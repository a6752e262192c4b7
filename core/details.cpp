#include <cstring>

#include "alloc.h"
#include "decode_int.h"
#include "doc_int.h"
#include "jx/details.h"
#include "jx/json.h"
#include "jx/path.h"
#include "jx/problem.h"
#include "json_int.h"
#include "status_int.h"

/* Containers written in more bytes than this are not measured: the measure
 * walks the whole subtree, work the cap is there to avoid. Below it the walk
 * costs about what the body does; above it the size as written, larger than
 * the body shown, stands in for the size of the pretty JSON. */
static constexpr uint32_t MEASURE_BYTES = 2 * JX_INSPECT_CAP;
static constexpr std::string_view ELLIPSIS_NOTE = " \xE2\x80\xA6 ";

/* The node's path, or "(root)" where the style writes none. False when the
 * path could not be made: a wrong path must never stand in for the right one. */
static bool put_path(jx_str *b, const JxDoc *doc, uint32_t node, int style) {
    char local[512];
    size_t n = jx_path(doc, node, style, local, sizeof local);
    if (n == 0) {
        /* the only path that is empty when nothing failed */
        if (node != 0 || !(style == JX_PATH_JAVASCRIPT || style == JX_PATH_PYTHON || style == JX_PATH_POINTER)) return false;
        str_put(b, "(root)");
        return true;
    }
    if (n < sizeof local) {
        str_put(b, local, n);
        return true;
    }
    char *heap = static_cast<char *>(jx__malloc(n + 1));
    if (!heap) return false;
    bool ok = jx_path(doc, node, style, heap, n + 1) == n;
    if (ok) str_put(b, heap, n);
    jx__free(heap);
    return ok;
}

/* A scalar's body: an unreadable record's message, then the decoded value,
 * never more than the cap. Returns the full size of the body. */
static uint64_t scalar_body(jx_str *b, const JxDoc *doc, uint32_t node) {
    size_t head = 0;
    if (jx__type_of(jx__node(doc, node)) == JX_BAD) {
        const char *msg = jx__row_message(doc, node);
        if (!msg) msg = "could not be read";
        str_put(b, msg);
        str_put(b, "\n\n");
        head = std::strlen(msg) + 2;
    }
    jx_span v = jx__val_span(doc, node);
    size_t room = std::min<uint64_t>(3 * uint64_t(v.len) + 4, JX_INSPECT_CAP - head);
    char *out = str_reserve(b, room);
    if (!out) return 0;
    jx_cursor c = jx__cursor(out, room + 1);
    if (v.p) jx__decode(&c, v.p, v.len, v.escaped);
    str_commit(b, c.written);
    return head + c.total;
}

/* A container's body: its pretty JSON, written until the cap is passed.
 * Sets *cut when it stopped there; returns the full size of the body. */
static uint64_t container_body(jx_str *b, const JxDoc *doc, uint32_t node, bool *cut) {
    /* room for the note too, so that the text never grows past this */
    char *out = str_reserve(b, JX_INSPECT_CAP + 1 + 128);
    if (!out) return 0;
    jx_out o{out, 0, JX_INSPECT_CAP + 1, false};
    jx__build(&o, doc, node, true);
    /* The writer also stops when its stack cannot grow: short of the cap,
     * that is a failure, not a body cut at the cap. */
    if (o.overflow && o.len <= o.cap) {
        b->failed = 1;
        return 0;
    }
    str_commit(b, std::min(o.len, o.cap));
    *cut = o.overflow;
    if (!o.overflow) return o.len;
    const uint32_t written = jx_val_len(doc, node);
    if (written <= MEASURE_BYTES)
        if (size_t full = jx_json_size(doc, node, 1)) return full;
    return written;
}

/* Cuts the body starting at from where the cap is passed: at the last line
 * feed within it (the line feed dropped), else at a character boundary. */
static void cut_at_cap(jx_str *b, size_t from) {
    size_t at = from + JX_INSPECT_CAP;
    if (b->length <= at) return;
    size_t lf = at;
    while (lf > from && b->text[lf] != '\n') lf--;
    if (b->text[lf] == '\n') {
        at = lf;
    } else {
        while (at > from && jx__is_cont(static_cast<unsigned char>(b->text[at]))) at--;
    }
    b->length = at;
    b->text[at] = 0;
}

/* Shortens every line of the body longer than JX_INSPECT_LINE bytes to its
 * first JX_INSPECT_LINE bytes and a note of what is left out; the last line
 * counts against total, the body's full size, since the body may already be
 * cut there. Returns whether a line was shortened. */
static bool fm_cut_long_lines(jx_str *b, size_t from, uint64_t total) {
    if (b->failed) return false;
    bool any = false;
    for (size_t at = from, end; at < b->length; at = end + 1) {
        const void *lf = std::memchr(b->text + at, '\n', b->length - at);
        end = lf ? size_t(static_cast<const char *>(lf) - b->text) : b->length;
        if (end - at > JX_INSPECT_LINE) any = true;
    }
    if (!any) return false;
    jx_str out = str_heap();
    for (size_t at = from, end; at < b->length && !out.failed; at = end + 1) {
        const void *lf = std::memchr(b->text + at, '\n', b->length - at);
        end = lf ? size_t(static_cast<const char *>(lf) - b->text) : b->length;
        if (end - at <= JX_INSPECT_LINE) {
            str_put(&out, b->text + at, end - at + (lf ? 1 : 0));
            continue;
        }
        size_t keep = JX_INSPECT_LINE;
        while (keep > 0 && jx__is_cont(static_cast<unsigned char>(b->text[at + keep]))) keep--;
        /* the last line may already be cut short: what it misses counts too */
        const uint64_t seen = at - from + keep;
        uint64_t dropped = lf || total < end - from ? end - at - keep : total - seen;
        str_put(&out, b->text + at, keep);
        str_put(&out, ELLIPSIS_NOTE);
        str_bytes(&out, dropped);
        str_put(&out, " more on this line");
        if (lf) str_put(&out, "\n");
    }
    b->length = from;
    if (out.failed) {
        b->failed = 1;
    } else {
        str_put(b, out.text, out.length);
    }
    str_free(&out);
    return true;
}

extern "C" char *jx_inspect_text(const JxDoc *doc, uint32_t node, int style, size_t *length) {
    if (length) *length = 0;
    if (!jx__valid(doc, node)) return nullptr;
    jx_str b = str_heap();
    fm_select(&b, doc, node);
    str_put(&b, JX_SEP);
    str_bytes(&b, jx_val_len(doc, node));
    str_put(&b, "\n");
    bool ok = put_path(&b, doc, node, style);
    str_put(&b, "\n");
    if (uint32_t repeats = jx_key_repeats(doc, node); repeats >= 2) {
        str_put(&b, "This key appears ");
        str_count(&b, repeats);
        str_put(&b, " times in its object.\n");
    }
    str_put(&b, "\n");

    const size_t body = b.length;
    bool cut = false;
    uint64_t full = jx__is_container(jx__node(doc, node)->info) ? container_body(&b, doc, node, &cut)
                                                                 : scalar_body(&b, doc, node);
    cut |= full > JX_INSPECT_CAP;
    cut |= fm_cut_long_lines(&b, body, full);
    if (cut && !b.failed) {
        cut_at_cap(&b, body);
        str_put(&b, "\n\nShowing the first 2 MB of ");
        str_bytes(&b, full);
        str_put(&b, ". Copy gets all of it.");
    }
    if (!ok || b.failed || !b.text) {
        str_free(&b);
        return nullptr;
    }
    if (length) *length = b.length;
    return b.text;
}

extern "C" int jx_memory_warning(int64_t file_size, uint64_t ram, uint64_t *need) {
    uint64_t n = file_size < 0 ? UINT64_MAX : uint64_t(file_size) * 2;
    if (need) *need = n;
    if (n <= UINT64_MAX / 10 && ram <= UINT64_MAX / 6) return n * 10 > ram * 6;
    return double(ram) * 0.6 < double(n);
}
