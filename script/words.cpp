#include "words.h"

#include <QDir>
#include <QFileInfo>

#include <climits>
#include <cstdlib>
#include <sys/stat.h>

namespace {
const char *const ALLOWED[] = {"build/tmp/", "tests/samples/"};
} // namespace

bool ov_script_number(const QString &word, uint32_t *out) {
    if (word.isEmpty())
        return false;
    uint64_t n = 0;
    for (QChar c : word) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        n = n * 10 + uint64_t(c.unicode() - '0');
        if (n > 0xFFFFFFFFull)
            return false;
    }
    *out = uint32_t(n);
    return true;
}

static bool blank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r');
}

QString ov_script_trim(const QString &line) {
    qsizetype first = 0, end = line.size();
    while (first < end && blank(line[first]))
        first++;
    while (end > first && blank(line[end - 1]))
        end--;
    return line.mid(first, end - first);
}

QStringList ov_script_words(const QString &line) {
    QStringList words;
    QString word;
    for (QChar c : line) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (!word.isEmpty())
                words.append(word);
            word.clear();
        } else {
            word.append(c);
        }
    }
    if (!word.isEmpty())
        words.append(word);
    return words;
}

QString ov_script_rest(const QString &line) {
    const qsizetype space = line.indexOf(QLatin1Char(' '));
    return space < 0 ? QString() : line.mid(space + 1);
}

QString ov_clip_unescape(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); i++) {
        const QChar c = text[i];
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            const QChar next = text[i + 1];
            if (next == QLatin1Char('n')) {
                out.append(QLatin1Char('\n'));
                i++;
                continue;
            }
            if (next == QLatin1Char('\\')) {
                out.append(QLatin1Char('\\'));
                i++;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

static void dropTrailingSpaces(QString &text) {
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
}

QString ov_peel_search(const QString &text, uint32_t *options) {
    QString query = text;
    bool matchCase = false, regex = false, keys = false, values = false;
    for (;;) {
        dropTrailingSpaces(query);
        const qsizetype space = query.lastIndexOf(QLatin1Char(' '));
        const QString last = query.mid(space + 1);
        bool *flag = last == QLatin1String("/case")     ? &matchCase
                     : last == QLatin1String("/regex")  ? &regex
                     : last == QLatin1String("/keys")   ? &keys
                     : last == QLatin1String("/values") ? &values
                                                        : nullptr;
        if (!flag)
            break;
        *flag = true;
        query.truncate(space < 0 ? 0 : space);
    }
    const uint32_t scope = keys == values ? 0 : keys ? 1 : 2;
    *options = (matchCase ? OV_SEARCH_CASE : 0) | (regex ? OV_SEARCH_REGEX : 0) | (scope << OV_SEARCH_SCOPE_SHIFT);
    return query;
}

// lstat, so that a symbolic link counts as existing even when what it names does not.
static bool linkExists(const QString &path) {
    struct stat st;
    return lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// path with its longest existing leading part resolved through every symbolic link and the rest
// appended as written; empty when the existing part cannot be resolved (a dangling link).
static QString resolveExisting(const QString &path) {
    QString head = QDir::cleanPath(path);
    QStringList tail;
    while (!linkExists(head)) {
        const qsizetype slash = head.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            return QString();
        tail.prepend(head.mid(slash + 1));
        head.truncate(slash);
    }
    char resolved[PATH_MAX];
    if (!realpath(QFile::encodeName(head).constData(), resolved))
        return QString();
    QString out = QFile::decodeName(resolved);
    for (const QString &part : tail)
        out += QLatin1Char('/') + part;
    return out;
}

static bool inside(const QString &path, const QString &folder) {
    return !folder.isEmpty() && path.startsWith(folder + QLatin1Char('/'));
}

bool ov_script_path_allowed(const QString &root, const QString &word, QString *absolute) {
    if (word.contains(QLatin1String("..")))
        return false;
    const char *prefix = nullptr;
    for (const char *allowed : ALLOWED)
        if (word.startsWith(QLatin1String(allowed)))
            prefix = allowed;
    if (!prefix)
        return false;
    const QString path = root + QLatin1Char('/') + word;
    const QString resolved = resolveExisting(path);
    // The allowed folder is taken below the resolved root and never resolved itself: a build/tmp
    // that is a link to elsewhere must not carry writes out of the tree.
    QString folder = QString::fromLatin1(prefix);
    folder.chop(1);
    const QString realRoot = resolveExisting(root);
    if (resolved.isEmpty() || realRoot.isEmpty() || !inside(resolved, realRoot + QLatin1Char('/') + folder))
        return false;
    *absolute = path;
    return true;
}

QString ov_write_usage() {
    return QStringLiteral("write <file> <source>, both under build/tmp/ or tests/samples/");
}

QString ov_remove_usage() {
    return QStringLiteral("remove <file>, under build/tmp/ or tests/samples/");
}
