/* literals_int.h: the literal text every match of a regular expression holds.
 *
 * A regular-expression search runs Oniguruma on each key and value; most of
 * them cannot match, and a plain scan for text that every match must contain
 * rules them out far faster. This reads the pattern (Oniguruma syntax, as the
 * search compiles it) and names a few literals, one of which lies inside any
 * text a match can be found in, or says there are none it can vouch for.
 *
 * It understands only plain characters, escaped punctuation, concatenation,
 * groups, alternation and quantifiers; anything else either stands for
 * unknown text (classes, '.', \d and the like, anchors) or makes it give up
 * (backreferences, lookaround, inline options, other escapes). Giving up is
 * always safe: a wrong literal would lose hits.
 *
 * Ignoring case, the literals are ASCII and folded to lower case, and they are
 * only half the test: Oniguruma folds some characters outside ASCII onto ASCII
 * letters and pairs (the Kelvin sign onto "k", U+017F onto "s", U+00DF onto
 * "ss", ligatures onto "fi" and more), so a text that holds any byte above
 * 0x7F must go to the engine as well. A text of ASCII only can match only
 * through the ASCII case pairs of the literal's letters. */
#ifndef JX_LITERALS_INT_H
#define JX_LITERALS_INT_H

#include <cstddef>
#include <cstdint>

/* More alternatives cost a scan each and soon outweigh the engine calls they save. */
inline constexpr uint32_t JX_LITERALS_MAX = 4;
inline constexpr uint32_t JX_LITERAL_BYTES = 32;
/* Shorter literals are found nearly everywhere. */
inline constexpr uint32_t JX_LITERAL_MIN = 2;

struct jx_literals {
    uint32_t count; /* 0: no literal is known; then every text goes to the engine */
    uint8_t len[JX_LITERALS_MAX];
    uint8_t text[JX_LITERALS_MAX][JX_LITERAL_BYTES];
};

/* Fills out with between 1 and JX_LITERALS_MAX literals, each at least
 * JX_LITERAL_MIN bytes, one of which every match of the len bytes of pattern
 * contains (folded to lower case when match_case is false), or sets
 * out->count to 0. The pattern must be valid UTF-8 that Oniguruma compiled
 * with the same case option and no other. Allocates nothing. */
void jx__regex_literals(const uint8_t *pattern, size_t len, bool match_case, jx_literals *out /* out */);

#endif
