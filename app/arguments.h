// arguments.h: the command line of the orvel program.
#ifndef OV_ARGUMENTS_H
#define OV_ARGUMENTS_H

#include <QString>
#include <QStringList>

struct OVOptions;

// Reads args (args[0] is the program) into options and returns the files named, as absolute
// paths without "." and ".." components, resolved against cwd. An option word that expects a
// value takes the next argument, whatever it looks like; as the last argument it is ignored.
// Other words starting with "-" are skipped alone: the desktop's "-NS..." and "-Apple..."
// flags too, since skipping the word after them would silently drop a file of that name.
QStringList ov_read_arguments(const QStringList &args, const QString &cwd, OVOptions &options);

// The complaint for options that cannot run together, with its line feed, or empty when they
// can; main prints it on standard error and exits with status 2.
QString ov_arguments_error(const OVOptions &options);

#endif
