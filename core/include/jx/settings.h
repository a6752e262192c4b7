/*
 * jx/settings.h: the user's settings as one fixed-size record, and the small
 * text file they are kept in.
 *
 * The file is UTF-8 text of lines "key=value", each ended by a line feed (a
 * carriage return before the line feed is ignored), with no spaces around
 * "=", no comments and no sections:
 *
 *   theme=0
 *   font_size=0
 *   path_style=jsonpath
 *   inspector=0
 *   inspector_width=360
 *   search_case=0
 *   search_regex=0
 *   search_scope=all
 *   indent_guides=1
 *   window=0 0 0 0
 *   recent=/path/of/the/file.json     (one line per recent path, newest first)
 *
 * Reading never fails: a line it does not understand is skipped and the other
 * lines still apply, so a damaged or hand-edited file still gives valid
 * settings. Writing repairs out-of-range values on the way out.
 *
 * A JxSettings is plain data owned by the caller; nothing here allocates or
 * keeps a pointer. The functions touch only the record and the texts they are
 * given, so any thread may call them, on different records at the same time.
 */
#ifndef JX_SETTINGS_H
#define JX_SETTINGS_H

#include "base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Most recent paths kept, and the bytes of each slot (the longest path is
 * one less, for the zero byte). */
#define JX_RECENT_MAX 10
#define JX_RECENT_SIZE 1024

/*
 * The settings. A record is valid when every field is in the range given
 * here; jx_settings_parse only ever produces valid records, and
 * jx_settings_format writes any record as a valid file.
 */
typedef struct JxSettings {
    int32_t theme;           /* 0, 1 or 2 */
    int32_t font_size;       /* 0 for the default size, else 9 to 24 points */
    int32_t path_style;      /* JX_PATH_JSONPATH to JX_PATH_POINTER (jx/path.h) */
    uint8_t inspector;       /* 1 when the inspector pane is shown */
    int32_t inspector_width; /* 200 to 1200 points */
    uint8_t search_case;     /* the search's match-case option */
    uint8_t search_regex;    /* the search's regular-expression option */
    int32_t search_scope;    /* JX_SCOPE_ALL, JX_SCOPE_KEYS or JX_SCOPE_VALUES (jx/search.h) */
    uint8_t indent_guides;   /* 1 when indent guides are drawn */
    /* The last document window's frame, in the shell's coordinates; all 0
     * when none was saved. The width and height are never negative. */
    int32_t win_x, win_y, win_w, win_h;
    int32_t nrecent; /* 0 to JX_RECENT_MAX */
    /* Zero-terminated paths, newest first; each passes jx_settings_path_ok
     * and none is listed twice. */
    char recent[JX_RECENT_MAX][JX_RECENT_SIZE];
} JxSettings;

/* Clears the whole record, then sets the defaults: inspector_width 360,
 * indent_guides 1, every other field 0 and no recent paths. A null record
 * is ignored. */
void jx_settings_default(JxSettings *settings /* out */);

/*
 * Reads the file's text (len bytes, not zero-terminated) into settings: the
 * defaults first, then every recognised line in order. A line is split at
 * its first "="; a line without one, an unknown key (keys are compared
 * exactly, case included) or an unusable value is skipped. Integers are an
 * optional "-" and one or more decimal digits, their magnitude saturating at
 * 1,000,000,000. Per key:
 *   theme                      taken when 0, 1 or 2
 *   font_size                  0 stays 0, anything else clamped to 9 to 24
 *   inspector_width            clamped to 200 to 1200
 *   path_style                 exactly jsonpath, jq, js, python or pointer
 *   search_scope               exactly all, keys or values
 *   inspector, search_case,
 *   search_regex, indent_guides  exactly 0 or 1
 *   window                     as jx_settings_window takes it
 *   recent                     appended while fewer than JX_RECENT_MAX are
 *                              listed, when jx_settings_path_ok and not yet
 *                              listed (byte for byte)
 * A null text or len 0 leaves the defaults; a null record is ignored. Never
 * fails, whatever the bytes, and always leaves a valid record.
 */
void jx_settings_parse(JxSettings *settings /* out */, const char *text, size_t len);

/*
 * Writes settings as the file's text into (buf, size) and returns the text's
 * full length: at most size - 1 bytes are copied, never splitting a UTF-8
 * character, then a zero byte; buf may be null (or size 0) to measure, so
 * that a caller can allocate length + 1 bytes and call again. Values are
 * repaired on the way out: a theme outside 0 to 2 is written as 0; a
 * non-zero font size is clamped to 9 to 24; a path style or search scope out
 * of range as the first one; the inspector width clamped to 200 to 1200; a
 * non-zero flag as 1; a negative window width or height as 0. Of the recent
 * paths, the first nrecent (at most JX_RECENT_MAX) are written, each only
 * when it passes jx_settings_path_ok within its slot. A null record gives 0
 * and an empty text.
 */
size_t jx_settings_format(const JxSettings *settings, char *buf /* out */, size_t size);

/*
 * Puts path (zero-terminated UTF-8) at the front of the recent list: a path
 * already listed moves there, the ones before it moving down one place;
 * another path is inserted, the oldest one dropped when the list is full.
 * An nrecent outside 0 to JX_RECENT_MAX is first brought into it. A null
 * record or path, or a path that fails jx_settings_path_ok, is ignored. path
 * may be one of the record's own slots.
 */
void jx_settings_add_recent(JxSettings *settings, const char *path);

/* 1 when the key from key to key_end is exactly word (zero-terminated),
 * byte for byte, else 0; 0 when key or word is null. */
int jx_settings_key_is(const char *key, const char *key_end, const char *word);

/*
 * Reads a window value from text to end: exactly four integers (as
 * jx_settings_parse reads them) separated by single spaces, with nothing
 * before, between or after them, the third and fourth (width and height)
 * not negative. Returns 1 and writes x, y, width and height to frame[0..3];
 * otherwise returns 0 and leaves frame alone. 0 for a null text.
 */
int jx_settings_window(const char *text, const char *end, int32_t frame[4] /* out */);

/* 1 when path (len bytes) can be a recent path: 1 to JX_RECENT_SIZE - 1
 * bytes of well-formed UTF-8 (shortest forms, no surrogates, nothing above
 * U+10FFFF) without control characters (below 32, and 127); else 0, and 0
 * for a null path. */
int jx_settings_path_ok(const char *path, size_t len);

/* The index of the recent path equal to path (len bytes, byte for byte) among
 * the first nrecent (at most JX_RECENT_MAX), or -1; -1 for a null record or
 * path. */
int jx_settings_find_recent(const JxSettings *settings, const char *path, size_t len);

#ifdef __cplusplus
}
#endif

#endif
