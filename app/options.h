// options.h: the command-line options of the whole process, filled once by main before the
// application starts and read-only afterwards.
#ifndef OV_OPTIONS_H
#define OV_OPTIONS_H

#include <QString>

#include <cstdint>

struct OVOptions {
    QString scriptPath;     // --test-script; script mode when not empty
    QString transcriptPath; // --test-out
    QString settingsPath;   // --settings
    QString logPath;        // --test-log
    uint64_t memoryOverride = 0; // --test-ram, in bytes; 0 when absent
    double startTime = 0;        // seconds of steady_clock, taken first thing in main
};

OVOptions &ov_options();
// True when the command line named a script.
bool ov_test_mode();
// Seconds of the monotonic clock, the base of startTime.
double ov_uptime();
// The folder an XDG variable names when it holds an absolute path, else homeFallback (such as
// ".config") under the home folder.
QString ov_xdg_dir(const char *variable, const char *homeFallback);

#endif
