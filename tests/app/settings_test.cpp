#include "log.h"
#include "options.h"
#include "settings_store.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

namespace {

QByteArray read_all(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write_all(const QString &path, const QByteArray &data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), data.size());
}

QByteArray formatted(const JxSettings &s) {
    std::vector<char> buf(jx_settings_format(&s, nullptr, 0) + 1);
    jx_settings_format(&s, buf.data(), buf.size());
    return QByteArray(buf.data());
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString at(const QString &name) const { return dir.filePath(name); }
    QString logText() const { return QString::fromUtf8(read_all(at(QStringLiteral("orvel.log")))); }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        ov_options().logPath = at(QStringLiteral("orvel.log"));
    }

    void pathFollowsTheCommandLineThenXdg() {
        qputenv("HOME", QFile::encodeName(at(QStringLiteral("home"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(at(QStringLiteral("config"))));
        QCOMPARE(OVSettings::defaultPath(), at(QStringLiteral("config/orvel/settings.txt")));
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(OVSettings::defaultPath(), at(QStringLiteral("home/.config/orvel/settings.txt")));
        ov_options().settingsPath = at(QStringLiteral("given.txt"));
        QCOMPARE(OVSettings::defaultPath(), at(QStringLiteral("given.txt")));
        QCOMPARE(OVSettings::shared()->path(), at(QStringLiteral("given.txt")));
        ov_options().settingsPath.clear();
    }

    void missingFileGivesDefaults() {
        OVSettings store(at(QStringLiteral("none/settings.txt")));
        store.values().theme = 2;
        store.load();
        QCOMPARE(store.values().theme, 0);
        QCOMPARE(store.values().inspector_width, 360);
        QCOMPARE(store.values().indent_guides, uint8_t(1));
        QVERIFY(!store.isDirty());
        QVERIFY(logText().contains(QStringLiteral(" settings %1 (0 bytes)\n").arg(store.path())));
        QVERIFY(!QFile::exists(store.path()));
    }

    // A damaged file still gives what it can: its good lines, and of the recent list the valid
    // paths in their order.
    void damagedFileKeepsItsGoodLines() {
        const QByteArray text = "theme=1\r\n"
                                "garbage without equals\n"
                                "font_size=5\n"
                                "inspector_width=abc\n"
                                "\x01\x02\xFF=\xFE\n"
                                "recent=/docs/a.json\n"
                                "recent=/docs/bad\xC3(.json\n"
                                "recent=/docs/b.json\r\n"
                                "recent=/docs/a.json\n"
                                "recent=\n"
                                "recent=/docs/tab\there.json\n"
                                "recent=/docs/c.json\n"
                                "window=10 20 800\n"
                                "search_scope=keys";
        const QString path = at(QStringLiteral("damaged/settings.txt"));
        write_all(path, text);
        OVSettings store(path);
        store.load();
        const JxSettings &s = store.values();
        QCOMPARE(s.theme, 1);
        QCOMPARE(s.font_size, 9);
        QCOMPARE(s.inspector_width, 360);
        QCOMPARE(s.search_scope, 1);
        QCOMPARE(s.win_w, 0);
        QCOMPARE(s.nrecent, 3);
        QCOMPARE(QByteArray(s.recent[0]), QByteArray("/docs/a.json"));
        QCOMPARE(QByteArray(s.recent[1]), QByteArray("/docs/b.json"));
        QCOMPARE(QByteArray(s.recent[2]), QByteArray("/docs/c.json"));
        QVERIFY(logText().contains(QStringLiteral(" settings %1 (%2 bytes)\n").arg(path).arg(text.size())));
        QVERIFY(!store.isDirty());
    }

    void folderInsteadOfFileGivesDefaults() {
        const QString path = at(QStringLiteral("a-folder"));
        QDir().mkpath(path);
        OVSettings store(path);
        store.load();
        QCOMPARE(store.values().inspector_width, 360);
        QVERIFY(logText().contains(QStringLiteral(" settings %1 (0 bytes)\n").arg(path)));
    }

    // A burst of changes is written once, a second after the last of them.
    void burstIsSavedOnceAfterTheLastChange() {
        const QString path = at(QStringLiteral("burst/settings.txt"));
        OVSettings store(path);
        QSignalSpy spy(&store, &OVSettings::saved);
        QElapsedTimer sinceLast;
        for (int i = 0; i < 4; i++) {
            store.values().font_size = 10 + i;
            sinceLast.start();
            store.changed();
            QTest::qWait(250);
            QCOMPARE(spy.count(), 0);
        }
        QVERIFY(spy.wait(3000));
        const qint64 waited = sinceLast.elapsed();
        QVERIFY2(waited >= OVSettings::SAVE_DELAY_MS && waited < OVSettings::SAVE_DELAY_MS + 900,
                 qPrintable(QString::number(waited)));
        QCOMPARE(spy.takeFirst().at(0).toBool(), true);
        QVERIFY(!spy.wait(1300)); // nothing left to write
        QCOMPARE(read_all(path), formatted(store.values()));
        QVERIFY(read_all(path).contains("font_size=13\n"));
        QVERIFY(!store.isDirty());
    }

    // The file is replaced whole: no temporary file is left beside it, and a clean store leaves
    // the file alone.
    void saveReplacesTheFileAtomically() {
        const QString path = at(QStringLiteral("atomic/deep/er/settings.txt"));
        write_all(path, QByteArray("theme=2\nrecent=/old.json\n") + QByteArray(5000, '#'));
        OVSettings store(path);
        store.load();
        QCOMPARE(store.values().theme, 2);
        store.values().theme = 1;
        jx_settings_add_recent(&store.values(), "/new.json");
        store.changed();
        QVERIFY(store.saveNow());
        QCOMPARE(read_all(path), formatted(store.values()));
        QVERIFY(read_all(path).startsWith("theme=1\n"));
        QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("settings.txt")});

        QFile::remove(path);
        QVERIFY(store.saveNow());
        QVERIFY(!QFile::exists(path));
    }

    // A folder that cannot be made: the failure is logged, the changes are kept for the next try,
    // and the event loop goes on.
    void failedSaveStaysDirty() {
        const QString blocker = at(QStringLiteral("blocker"));
        write_all(blocker, "a file where the folder should be");
        const QString path = blocker + QStringLiteral("/orvel/settings.txt");
        OVSettings store(path);
        QSignalSpy spy(&store, &OVSettings::saved);
        store.values().theme = 2;
        store.changed();
        QVERIFY(spy.wait(3000));
        QCOMPARE(spy.takeFirst().at(0).toBool(), false);
        QVERIFY(store.isDirty());
        QVERIFY(logText().contains(QStringLiteral(" settings: could not write %1\n").arg(path)));
        bool ticked = false;
        QTimer::singleShot(0, this, [&] { ticked = true; });
        QTRY_VERIFY(ticked);

        QVERIFY(QFile::remove(blocker));
        store.changed();
        QVERIFY(spy.wait(3000));
        QCOMPARE(spy.takeFirst().at(0).toBool(), true);
        QVERIFY(read_all(path).startsWith("theme=2\n"));
    }

    // Quitting writes pending changes at once rather than losing them with the timer.
    void quittingWritesPendingChanges() {
        const QString path = at(QStringLiteral("quit/settings.txt"));
        OVSettings store(path);
        store.values().inspector = 1;
        store.changed();
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        QCoreApplication::exec();
        QVERIFY(!store.isDirty());
        QVERIFY(read_all(path).contains("inspector=1\n"));
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "settings_test.moc"
