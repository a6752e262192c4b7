/* search_int.h: test hooks of the search. */
#ifndef JX_SEARCH_INT_H
#define JX_SEARCH_INT_H

#include "jx/search.h"

/* Test hook: searches made after this call scan with the portable 8-byte word
 * test instead of the vector unit (when there is one). */
void jx__search_force_words(bool on);

/* Test hook: searches made after this call run a regular expression on every
 * key and value, without first looking for the literals its matches hold. */
void jx__search_no_literals(bool on);

#endif
