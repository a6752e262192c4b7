/* records_int.h: texts of several values and JSON Lines, for the grammar.
 *
 * A text that holds more than one value is read as records: a synthetic
 * array (node 0) whose children are the values, one per line in JSON Lines.
 * A record that cannot be read costs only itself: it becomes one JX_BAD node
 * over its text with a problem, and reading goes on after its line. */
#ifndef JX_RECORDS_INT_H
#define JX_RECORDS_INT_H

#include "parse_int.h"

/* Reads the whole text as JSON Lines, from its first byte. */
void jx__read_lines_from_start(jx_parser &p);

/* A value was read from first to after, and another value starts at s:
 * reads the text as records. When the first value sat on one line and
 * nothing but comments follows it there, the text is JSON Lines and is read
 * again from the start as such; else the values are records and reading
 * goes on at s. */
void jx__read_more(jx_parser &p, const char *first, const char *after, const char *s);

#endif
