/* search_int.h: test hooks of the search. */
#ifndef JX_SEARCH_INT_H
#define JX_SEARCH_INT_H

#include "jx/search.h"

/* Test hook: searches made after this call scan with the portable 8-byte word
 * test instead of the vector unit (when there is one). */
void jx__search_force_words(bool on);

#endif
