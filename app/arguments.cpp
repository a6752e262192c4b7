#include "arguments.h"

#include "options.h"

#include <QDir>

QStringList ov_read_arguments(const QStringList &args, const QString &cwd, OVOptions &options) {
    QStringList files;
    const QDir base(cwd);
    for (qsizetype i = 1; i < args.size(); i++) {
        const QString &arg = args[i];
        if (i + 1 < args.size()) {
            const QString &value = args[i + 1];
            QString *text = nullptr;
            if (arg == QLatin1String("--test-script"))
                text = &options.scriptPath;
            else if (arg == QLatin1String("--test-out"))
                text = &options.transcriptPath;
            else if (arg == QLatin1String("--settings"))
                text = &options.settingsPath;
            else if (arg == QLatin1String("--test-log"))
                text = &options.logPath;
            if (text) {
                *text = value;
                i++;
                continue;
            }
            if (arg == QLatin1String("--test-ram")) {
                // Not a decimal number (or beyond 64 bits): no override.
                options.memoryOverride = value.toULongLong(nullptr, 10);
                i++;
                continue;
            }
        }
        if (arg.startsWith(QLatin1Char('-')))
            continue;
        files.append(QDir::cleanPath(base.absoluteFilePath(arg)));
    }
    return files;
}

QString ov_arguments_error(const OVOptions &options) {
    if (!options.scriptPath.isEmpty() && options.settingsPath.isEmpty())
        return QStringLiteral("orvel: --test-script needs --settings <file>\n");
    return QString();
}
