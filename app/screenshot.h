// screenshot.h: `orvel --screenshot PATH`, for running where nobody can see the window (scripts/orvel
// without a display runs the program on the offscreen platform): the program starts as usual, saves
// the window it shows to PATH as a PNG once that window has settled, and quits.
#ifndef OV_SCREENSHOT_H
#define OV_SCREENSHOT_H

#include <QString>

// Takes `--screenshot PATH` out of the command line, before QApplication and the option parser see
// it, and stores PATH in *path (left empty when the option is absent). Returns false, after saying
// why on stderr, when the option has no PATH.
bool ov_screenshot_take_option(int &argc, char **argv, QString *path);

// Once the application's windows have shown and settled, saves the most recent one to path and
// quits with status 0, or 1 when it cannot be written or no window shows within a few seconds.
// Call once the QApplication exists, before or after windows show; does nothing for an empty path.
void ov_screenshot_arm(const QString &path);

#endif
