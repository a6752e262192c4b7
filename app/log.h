// log.h: the shell's log.
//
// ov_log writes one line, "yyyy-MM-dd HH:mm:ss.SSS message", to the --test-log file, else to the
// file $OV_LOG names, else (outside script mode) to $XDG_STATE_HOME/orvel/orvel.log; in script
// mode also to standard error. Each call opens, appends and closes the file with one write, so any
// thread may log and lines never interleave. A file that cannot be opened is skipped silently.
#ifndef OV_LOG_H
#define OV_LOG_H

#include <QString>

// printf-style: texts go in as UTF-8 "%s" (qUtf8Printable).
void ov_log(const char *format, ...) __attribute__((format(printf, 1, 2)));
// The file ov_log appends to now, or empty when it writes to standard error only.
QString ov_log_path();

#endif
