/*
 * jx/text.h: the Text view: a document as lines of text, either re-indented
 * (pretty) or as the file holds them.
 *
 * A text model is built once per mode by jx_text_new, on any one thread (a
 * background one for big documents), with progress and cancellation. From
 * then on it never changes: jx_text_count, jx_text_line (each caller with its
 * own JxLine), jx_text_line_of, jx_text_node_of, jx_text_copy and
 * jx_text_copy_size may be called from any number of threads at once, also
 * while a search given to jx_text_line is still running. The model belongs to
 * the thread that frees it; jx_text_free must not overlap any other call.
 *
 * Pretty mode: every node has an opening line ("key": value, or "key": { for
 * a container with children), and every object or array with children also
 * has a closing line after its last descendant. Empty containers stay on
 * their opening line. In a records document (JSON Lines, several values) the
 * synthetic root has no lines and the records are the outermost lines.
 *
 * As-in-file mode: the document's own lines (jx_doc_line_count), with
 * comments, spacing and problems, each line cut after 10,000 bytes.
 */
#ifndef JX_TEXT_H
#define JX_TEXT_H

#include "line.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct JxText JxText;

/* Modes of a text model. */
enum {
    JX_TEXT_PRETTY = 0, /* re-indented, one value per line */
    JX_TEXT_FILE = 1    /* the file's own lines */
};

/*
 * Builds the text model of doc in mode (JX_TEXT_PRETTY or JX_TEXT_FILE) and
 * retains doc until jx_text_free. On success returns the model and *status
 * is JX_OK; otherwise returns null, having freed everything, with *status
 * JX_CANCELLED (the cancel flag was set) or JX_NO_MEMORY (memory ran out, the
 * pretty text would have 0xFFFFFFFF lines or more or doc has more than 2^31
 * nodes, doc is null or mode unknown). status may be null. progress may be
 * null; its callback gets (0, total) first, then (done, total) every
 * 1,048,576 nodes and (total, total) at the end, where total is the node
 * count (twice the node count in pretty mode, which passes over the nodes
 * twice); the cancel flag is read at the same moments. Pretty mode costs 4
 * bytes per line; as in the file only one bit per line, and only when the
 * document has comments.
 */
JxText *jx_text_new(JxDoc *doc, int mode, const jx_progress *progress, int *status /* out */);

/* Frees the model and releases its document. Null-safe. */
void jx_text_free(JxText *text);

/* JX_TEXT_PRETTY or JX_TEXT_FILE; 0 for null. */
int jx_text_mode(const JxText *text);

/* Number of lines; 0 for null. */
uint32_t jx_text_count(const JxText *text);

/*
 * Builds line `line` (0-based) into out, at most width characters long (0:
 * no limit): when more would follow, the last character is replaced by "…"
 * and the line ends. Sets out->number to line + 1, out->node to the node the
 * line shows (jx_text_node_of), out->closing to 1 on a pretty closing line
 * (else 0); depth and chevron are 0. Styles: keys JX_STYLE_KEY, strings,
 * numbers, booleans and null their own styles, punctuation and indentation
 * JX_STYLE_PUNCT, comments, stray text and notes JX_STYLE_NOTE, problems and
 * unreadable records JX_STYLE_ERROR.
 *
 * Pretty lines show keys and values as written (strings keep their quotes
 * and escapes), indented by 2 spaces per level (at most 40 levels), with a
 * comma before each following sibling; an unreadable record reads
 * "⚠ line N: message: " and its text. As-in-file lines show the file's bytes
 * without the line end, tabs as spaces to the next multiple of 4 characters;
 * past 10,000 bytes they end with " … " and the size left " more on this
 * line"; each problem on the line (at most 8) follows as "  ◀ " and its
 * message, and they keep their room within the width whenever they fit in
 * it; the character at a problem's offset is in JX_STYLE_ERROR. In both
 * modes control characters show as their pictures and invalid UTF-8 as
 * U+FFFD.
 *
 * With a search, matches inside the keys and scalars on the line are marked:
 * JX_HIT_CURRENT for node `current`, JX_HIT_MATCH elsewhere.
 *
 * A null model or a line at or above jx_text_count leaves out empty with
 * node JX_NONE and number 0; a null out is ignored. Memory shortage gives a
 * shorter line, never an invalid one. The time taken depends on what the
 * line shows, not on the length of the keys and values it cuts short; only a
 * key that runs over several lines of the file is read from its start.
 */
void jx_text_line(const JxText *text, uint32_t line, uint32_t width, const JxSearch *search, uint32_t current,
                  JxLine *out /* out */);

/* The line showing node (pretty: its opening line; as in the file: the line
 * of its key, or of its value when it has none); JX_NONE for a null model or
 * an id at or above jx_doc_count. The synthetic root of a records document is
 * on line 0. */
uint32_t jx_text_line_of(const JxText *text, uint32_t node);

/*
 * The node line shows: in pretty mode the node of an opening line or the
 * container of a closing line; as in the file the node whose key or value
 * starts on the line, else the node whose text or inside the line lies in.
 * JX_NONE for a null model, a line at or above jx_text_count, and lines that
 * lie outside every node. As in the file, a line inside a long run of closing
 * brackets takes a step per bracket between it and the nearer end of the run
 * (the start of the run when the document has comments or JSON5 spacing).
 */
uint32_t jx_text_node_of(const JxText *text, uint32_t line);

/*
 * The plain text of lines min(a, b) to max(a, b) (the upper end cut to the
 * last line), joined by line feeds, as a newly allocated zero-terminated
 * buffer that the caller frees with free(); its length goes to *length when
 * length is not null. Pretty lines are written whole (no width, no "…"),
 * indented from the first line's level on; as-in-file lines are the file's
 * bytes without their line ends. Null and length 0 for a null model, a lower
 * end at or above jx_text_count, or a memory failure.
 */
char *jx_text_copy(const JxText *text, uint32_t a, uint32_t b, size_t *length /* out */);

/* The length of the text jx_text_copy gives, without building it; 0 for a
 * null model or a lower end at or above jx_text_count. */
size_t jx_text_copy_size(const JxText *text, uint32_t a, uint32_t b);

#ifdef __cplusplus
}
#endif

#endif
