// The main menu: its items on Linux, their keys, validation, text zoom, Open Recent and
// making Orvel the default for JSON.
#include "delegate_fixture.h"
#include "label.h"
#include "menus.h"
#include "options.h"
#include "status_bar.h"
#include "theme.h"

#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>

class MenusTest : public QObject {
    Q_OBJECT
    std::unique_ptr<OVAppDelegate> delegate;
    OVDocWindow *window = nullptr;

    QAction *item(const char *name) { return ov_find_action(window, QString::fromLatin1(name)); }
    QMenu *menu(const char *name) { return window->findChild<QMenu *>(QString::fromLatin1(name)); }
    static QStringList titles(QMenu *menu) {
        QStringList list;
        for (QAction *a : menu->actions())
            list.append(a->isSeparator() ? QStringLiteral("-") : a->text());
        return list;
    }
    // A script standing in for xdg-mime: records its arguments, fails for the types in $FAIL_TYPE.
    void fakeXdgMime(const QString &dir) {
        QFile script(dir + QStringLiteral("/xdg-mime"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"$@\" >> \"$LOG_FILE\"\n[ \"$3\" = \"$FAIL_TYPE\" ] && { echo refused >&2; exit 4; }\nexit 0\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

private slots:
    void init() {
        delegate = std::make_unique<OVAppDelegate>();
        delegate->applicationWillFinishLaunching();
        JxDoc *doc = parseText("{\"a\": 1}");
        window = new OVDocWindow(doc, QStringLiteral("Menus"), 0);
        jx_doc_release(doc);
        delegate->show(window);
    }
    void cleanup() {
        delete window;
        closeEverything(*delegate);
        delegate.reset();
        OVTheme::setFontSize(0);
    }

    void linuxMenus() {
        QStringList bar;
        for (QAction *a : window->menuBar()->actions())
            bar.append(a->text());
        QCOMPARE(bar, QStringList({"Orvel", "File", "Edit", "View", "Window"}));
        QCOMPARE(titles(menu("menuOrvel")), QStringList({"About Orvel", "-", "Quit Orvel"}));
        QCOMPARE(titles(menu("menuWindow")), QStringList({"Minimize", "Zoom"}));
        QCOMPARE(titles(menu("menuCopyPathAs")).size(), 5);
        QCOMPARE(titles(menu("menuPathStyle")), QStringList({"JSONPath", "jq", "JavaScript", "Python"}));
        // Every item of the menu bar has its own stable name (the row menu's repeat them).
        QSet<QString> names;
        QList<QAction *> items;
        for (QMenu *m : window->menuBar()->findChildren<QMenu *>())
            items += m->actions();
        for (QAction *a : items)
            if (!a->isSeparator() && !a->menu()) {
                QVERIFY2(!a->objectName().isEmpty(), qPrintable(a->text()));
                QVERIFY2(!names.contains(a->objectName()), qPrintable(a->objectName()));
                names.insert(a->objectName());
            }
        QVERIFY(names.contains(QStringLiteral("ovCopyPathAs4")) && names.contains(QStringLiteral("ovExpandLevel9")));
    }

    void keys_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("keys");
        QTest::newRow("open") << "openDocument" << "Ctrl+O";
        QTest::newRow("clipboard") << "ovOpenClipboard" << "Ctrl+Shift+V";
        QTest::newRow("copy as JSON") << "ovCopyJSON" << "Ctrl+Alt+C";
        QTest::newRow("find previous") << "ovFindPrevious" << "Ctrl+Shift+G";
        QTest::newRow("expand all, both forms") << "ovExpandAll" << "Ctrl+Shift+]|Ctrl+}";
        QTest::newRow("collapse all, both forms") << "ovCollapseAll" << "Ctrl+Shift+[|Ctrl+{";
        QTest::newRow("bigger") << "ovBigger" << "Ctrl+=";
        QTest::newRow("no key") << "ovCopyKey" << "";
        QTest::newRow("level keys belong to the list") << "ovExpandLevel3" << "";
    }
    void keys() {
        QFETCH(QString, name);
        QFETCH(QString, keys);
        QStringList got;
        for (const QKeySequence &k : ov_find_action(window, name)->shortcuts())
            got.append(k.toString());
        QCOMPARE(got.join(QLatin1Char('|')), keys);
    }

    void levelKeysShowOnlyWhileOpen() {
        QMenu *levels = menu("menuExpandToLevel");
        emit levels->aboutToShow();
        QCOMPARE(item("ovExpandLevel3")->shortcut(), QKeySequence(QStringLiteral("Alt+3")));
        emit levels->aboutToHide();
        QVERIFY(item("ovExpandLevel3")->shortcut().isEmpty());
    }

    void zoomLimits_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("delta");
        QTest::addColumn<int>("after");
        QTest::addColumn<int>("stored"); // the font_size setting; 0 means the default
        QTest::addColumn<QString>("enabled"); // of Bigger, Smaller, Actual Size before
        QTest::newRow("bigger at 24") << 24 << 1 << 24 << 24 << "-++";
        QTest::newRow("smaller at 9") << 9 << -1 << 9 << 9 << "+-+";
        QTest::newRow("actual at 13") << 13 << 0 << 13 << 0 << "++-";
        QTest::newRow("bigger from 13") << 13 << 1 << 14 << 14 << "++-";
        QTest::newRow("smaller to 9") << 10 << -1 << 9 << 9 << "+++";
        QTest::newRow("actual from 20") << 20 << 0 << 13 << 0 << "+++";
    }
    void zoomLimits() {
        QFETCH(int, size);
        QFETCH(int, delta);
        QFETCH(int, after);
        QFETCH(int, stored);
        QFETCH(QString, enabled);
        OVTheme::setFontSize(size);
        OVSettings::shared()->values().font_size = size == 13 ? 0 : size;
        emit menu("menuView")->aboutToShow();
        QString got;
        for (const char *name : {"ovBigger", "ovSmaller", "ovActualSize"})
            got += item(name)->isEnabled() ? QLatin1Char('+') : QLatin1Char('-');
        QCOMPARE(got, enabled);
        emit menu("menuView")->aboutToHide();
        // Closed, every item is enabled so its key gets through; the trigger checks again.
        QVERIFY(item("ovBigger")->isEnabled() && item("ovSmaller")->isEnabled());
        item(delta > 0 ? "ovBigger" : delta < 0 ? "ovSmaller" : "ovActualSize")->trigger();
        QCOMPARE(OVTheme::fontSize(), after);
        QCOMPARE(OVSettings::shared()->values().font_size, stored);
    }

    void zoomByKey() {
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(OVTheme::fontSize(), 14);
        QTest::keyClick(window, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(OVTheme::fontSize(), 13);
    }

    void editItemsFollowTheFocus() {
        emit menu("menuEdit")->aboutToShow();
        QCOMPARE(item("copy")->text(), QStringLiteral("Copy Value"));
        QVERIFY(!item("selectAll")->isEnabled()); // the document answers nothing yet
        auto *field = new QLineEdit(QStringLiteral("some text"), window);
        field->show();
        QVERIFY(QTest::qWaitForWindowActive(window));
        field->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), field);
        emit menu("menuEdit")->aboutToShow();
        QCOMPARE(item("copy")->text(), QStringLiteral("Copy"));
        QVERIFY(!item("copy")->isEnabled()); // nothing selected
        QVERIFY(item("selectAll")->isEnabled());
        emit menu("menuEdit")->aboutToHide();
        item("selectAll")->trigger();
        QCOMPARE(field->selectedText(), QStringLiteral("some text"));
    }

    void openRecent() {
        JxSettings &values = OVSettings::shared()->values();
        jx_settings_add_recent(&values, "/data/old.json");
        jx_settings_add_recent(&values, "/data/new.json");
        QMenu *recent = menu("menuOpenRecent");
        emit recent->aboutToShow();
        QCOMPARE(titles(recent), QStringList({"new.json", "old.json", "-", "Clear Menu"}));
        QCOMPARE(item("ovOpenRecent1")->data().toString(), QStringLiteral("/data/old.json"));
        emit recent->aboutToHide();
        item("ovClearRecent")->trigger();
        QCOMPARE(values.nrecent, 0);
        QVERIFY(OVSettings::shared()->isDirty());
        emit recent->aboutToShow();
        QCOMPARE(titles(recent), QStringList({"Clear Menu"}));
    }

    void jsonTypes() {
        const QStringList types = OVAppDelegate::jsonTypes();
        QVERIFY(!types.isEmpty());
        QCOMPARE(types.first(), QStringLiteral("application/json"));
        QCOMPARE(QSet<QString>(types.begin(), types.end()).size(), types.size());
        QVERIFY(!types.contains(QStringLiteral("application/octet-stream")));
        QVERIFY(!types.contains(QStringLiteral("text/plain")));
    }

    void makeDefault_data() {
        QTest::addColumn<QString>("fail"); // the type xdg-mime refuses; "*" for no xdg-mime at all
        QTest::addColumn<QString>("result");
        QTest::newRow("all taken") << "" << "Orvel now opens JSON files";
        QTest::newRow("one refused") << "application/json" << "The system did not make Orvel the default: see the log";
        QTest::newRow("no xdg-mime") << "*" << "The system did not make Orvel the default: see the log";
    }
    void makeDefault() {
        QFETCH(QString, fail);
        QFETCH(QString, result);
        QTemporaryDir bin;
        if (fail != QLatin1String("*"))
            fakeXdgMime(bin.path());
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()));
        qputenv("LOG_FILE", QFile::encodeName(bin.filePath(QStringLiteral("calls"))));
        qputenv("FAIL_TYPE", fail.toUtf8());
        QVERIFY(QTest::qWaitForWindowActive(window));
        item("ovMakeDefault")->trigger();
        QTRY_COMPARE(window->statusLine()->rightLabel()->text(), result);
        qputenv("PATH", path);
        if (fail == QLatin1String("*"))
            return;
        QFile calls(bin.filePath(QStringLiteral("calls")));
        QVERIFY(calls.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(calls.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        lines.sort();
        QStringList expected;
        for (const QString &type : OVAppDelegate::jsonTypes())
            expected.append(QStringLiteral("default orvel.desktop ") + type);
        expected.sort();
        QCOMPARE(lines, expected);
        if (!fail.isEmpty())
            QVERIFY(logText().contains(QStringLiteral("make default application/json: refused\n")));
    }

    void makeDefaultNotInScripts() {
        QTemporaryDir dir;
        ov_options().scriptPath = QStringLiteral("script.txt");
        ov_options().logPath = dir.filePath(QStringLiteral("log"));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", ""); // a run of xdg-mime would fail and say so
        item("ovMakeDefault")->trigger();
        QTest::qWait(50);
        qputenv("PATH", path);
        const QString log = logText();
        ov_options().scriptPath.clear();
        ov_options().logPath.clear();
        QVERIFY(!log.contains(QStringLiteral("make default application")));
        QVERIFY(log.contains(QStringLiteral("make default: not in a test run\n")));
    }
};

QTEST_MAIN(MenusTest)
#include "menus_test.moc"
