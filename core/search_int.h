/* search_int.h: the plain-text scanner of the search, for the core's other modules and its tests. */
#ifndef JX_SEARCH_INT_H
#define JX_SEARCH_INT_H

#include <cstddef>

#include "jx/search.h"

/* Zero bytes that must follow any text given to jx__next_start or jx__find:
 * the scanner reads whole blocks past its limit. Document texts have 64. */
inline constexpr size_t JX_SEARCH_PAD = 64;

/* First candidate start of a plain search's match in [from, limit), or limit
 * when there is none. A candidate is a position whose first (and, where it
 * decides, second) byte can begin a match; candidates are only a superset of
 * match starts. Null for a regular-expression search. */
const char *jx__next_start(const JxSearch *search, const char *from, const char *limit);

/* First match of a plain search lying wholly inside [from, to): returns its
 * start and sets *match_end to its end, or returns null. With case ignored a
 * match may be longer than the query (U+0130 folds to one byte). */
const char *jx__find(const JxSearch *search, const char *from, const char *to,
                     const char **match_end /* out */);

/* Test hook: searches made after this call scan with the portable 8-byte word
 * test instead of the vector unit (when there is one). */
void jx__search_force_words(bool on);

#endif
