// words.h: the script runner's reading of its arguments, free of any window so tests can reach it.
#ifndef OV_SCRIPT_WORDS_H
#define OV_SCRIPT_WORDS_H

#include <QString>
#include <QStringList>

#include <cstdint>

// An unsigned decimal of digits only, at most 4294967295; false for anything else (signs,
// spaces, an empty word, overflow).
bool ov_script_number(const QString &word, uint32_t *out);

// line without the spaces, tabs and carriage returns at either end.
QString ov_script_trim(const QString &line);

// The line's words: split at spaces and tabs, empty pieces dropped.
QStringList ov_script_words(const QString &line);

// Everything after the line's first space, as written (empty without a space).
QString ov_script_rest(const QString &line);

// The clip command's text: backslash n is a line break, two backslashes are one; any other
// backslash stays as written.
QString ov_clip_unescape(const QString &text);

// Search options packed for the window: match case in the low byte, regular expression in the
// second, the scope (0 keys and values, 1 keys, 2 values) in the third.
constexpr uint32_t OV_SEARCH_CASE = 1;
constexpr uint32_t OV_SEARCH_REGEX = 1u << 8;
constexpr int OV_SEARCH_SCOPE_SHIFT = 16;

// Peels "/case", "/regex", "/keys" and "/values" off the end of text (trailing spaces dropped
// first and between them) and returns the query left, trailing spaces dropped; the options go
// to *options. Naming both scopes searches both.
QString ov_peel_search(const QString &text, uint32_t *options);

// Whether a write or remove argument may be touched: it starts with "build/tmp/" or
// "tests/samples/", has no ".." and, once the part of root/word that exists is resolved through
// every symbolic link, still lies inside that folder of the resolved root. A final component that
// is a dangling symbolic link is refused (writing would follow it). *absolute gets root/word.
bool ov_script_path_allowed(const QString &root, const QString &word, QString *absolute);

// The text of the quoted message for the write and remove failures.
QString ov_write_usage();
QString ov_remove_usage();

#endif
