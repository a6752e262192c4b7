// The start window: where its parts sit, its recent rows and what clicking them does, its buttons,
// and how it looks (with a document window under a drag, for the outline there too).
#include "delegate_fixture.h"
#include "file_fixture.h"
#include "drop_outline.h"
#include "label.h"
#include "pasteboard.h"
#include "recent_row.h"
#include "root_view.h"
#include "start_view.h"
#include "theme.h"

#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QTemporaryDir>

class StartWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<OVAppDelegate> delegate;

    QString writeFile(const QString &name) {
        const QString path = dir.filePath(name);
        return write_file(path, "{\"name\": \"Orvel\", \"sizes\": [1, 2, 3]}") ? path : QString();
    }
    // Notes the paths as opened, the first last so that it heads the list, and shows the window.
    OVStartView *showWithRecent(const QStringList &paths) {
        for (qsizetype i = paths.size() - 1; i >= 0; i--) delegate->noteRecent(paths[i]);
        delegate->showStartWindow();
        return static_cast<OVStartWindow *>(delegate->startWindow())->startView();
    }
    QStringList recentFiles(int count) const {
        QStringList paths;
        for (int i = 0; i < count; i++) paths.append(dir.filePath(QStringLiteral("recent%1.json").arg(i)));
        return paths;
    }

private slots:
    void init() {
        delegate = std::make_unique<OVAppDelegate>();
        delegate->applicationWillFinishLaunching();
        // The settings file may keep what an earlier test noted.
        OVSettings::shared()->values().nrecent = 0;
    }
    void cleanup() {
        closeEverything(*delegate);
        delegate.reset();
    }

    void layout_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("recent");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("pinned");
        QTest::newRow("no recent files") << QSize(640, 460) << 0 << 0 << false;
        QTest::newRow("three") << QSize(640, 460) << 3 << 3 << false;
        QTest::newRow("fifteen show ten") << QSize(640, 460) << 15 << 10 << false;
        QTest::newRow("wide and tall") << QSize(1400, 900) << 2 << 2 << false;
        QTest::newRow("smallest, no recent files") << QSize(420, 320) << 0 << 0 << false;
        // The rows run off the bottom; the prompt stays 24 from the top.
        QTest::newRow("smallest, ten overflow") << QSize(420, 320) << 10 << 10 << true;
    }
    void layout() {
        QFETCH(QSize, size);
        QFETCH(int, recent);
        QFETCH(int, rows);
        QFETCH(bool, pinned);
        OVStartView *view = showWithRecent(recentFiles(recent));
        view->window()->resize(size);
        QTRY_COMPARE(view->size(), size);
        const int w = size.width(), h = size.height();
        QCOMPARE(view->recentRows().size(), rows);
        QCOMPARE(view->recentTitle()->isVisible(), rows > 0);
        QCOMPARE(view->outline()->geometry(), QRect(0, 0, w, h));
        const QRect prompt = view->prompt()->geometry();
        QCOMPARE(prompt, QRect(20, prompt.y(), w - 40, 34));

        // The buttons at their fitted sizes, 52 below the prompt's top, 12 apart, centred as a pair.
        const QRect open = view->openButton()->geometry(), clip = view->clipboardButton()->geometry();
        QCOMPARE(open, QRect(QPoint(open.x(), prompt.y() + 52), view->openButton()->sizeHint()));
        QCOMPARE(clip, QRect(QPoint(open.right() + 1 + 12, open.y()), view->clipboardButton()->sizeHint()));
        const int slack = (w - clip.right() - 1) - open.x();
        QVERIFY2(slack == 0 || slack == 1, qPrintable(QString::number(slack)));

        // The list: at most 460 wide, 40 from the sides when narrower, centred; rows 24 high.
        const int listWidth = std::min(w - 80, 460);
        const QRect title = view->recentTitle()->geometry();
        QCOMPARE(title, QRect((w - listWidth) / 2, open.bottom() + 1 + 34, listWidth, 20));
        for (int i = 0; i < rows; i++)
            QCOMPARE(view->recentRows()[i]->geometry(),
                     QRect(title.x(), title.y() + 20 + 24 * i, listWidth, 24));

        // The whole stands in the middle: with rows from the prompt to the last row; without, the
        // prompt and the buttons, 20 higher.
        const int block = (rows ? title.y() + 20 + 24 * rows : open.bottom() + 1) - prompt.y();
        const int centred = int(std::floor((h - block) / 2.0)) - (rows ? 0 : 20);
        QCOMPARE(prompt.y(), pinned ? 24 : centred);
        QCOMPARE(centred < 24, pinned);
    }

    void recentRowsFollowTheList() {
        OVStartView *view = showWithRecent(recentFiles(2));
        QCOMPARE(view->recentRows()[0]->path(), recentFiles(2)[0]);
        QCOMPARE(view->recentRows()[1]->path(), recentFiles(2)[1]);
        // Clear Menu empties the window's list at once; showing the window again reads it again.
        delegate->clearRecent();
        QCOMPARE(view->recentRows().size(), 0);
        QVERIFY(!view->recentTitle()->isVisible());
        QCOMPARE(view->prompt()->y(), (460 - view->openButton()->height() - 52) / 2 - 20);
        delegate->noteRecent(dir.filePath(QStringLiteral("new.json")));
        delegate->showStartWindow();
        QCOMPARE(view->recentRows().size(), 1);
        QCOMPARE(view->recentRows()[0]->title(), QStringLiteral("new.json"));
    }

    void folderText_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::newRow("in the home folder") << "/home/ann/a.json"
                                            << "~";
        QTest::newRow("below it") << "/home/ann/data/x/a.json"
                                  << "~/data/x";
        QTest::newRow("a sibling named alike") << "/home/ann2/a.json"
                                               << "/home/ann2";
        QTest::newRow("above it") << "/home/a.json"
                                  << "/home";
        QTest::newRow("the root") << "/a.json"
                                  << "/";
    }
    void folderText() {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", "/home/ann");
        const QString got = OVRecentRow::folderText(path);
        qputenv("HOME", home);
        QCOMPARE(got, folder);
    }

    // A click is a release inside the row after a press: the file opens and the start window goes.
    void clickingARow_data() {
        QTest::addColumn<bool>("releaseInside");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("opens");
        QTest::newRow("click") << true << int(Qt::LeftButton) << true;
        QTest::newRow("dragged out first") << false << int(Qt::LeftButton) << false;
        QTest::newRow("right button") << true << int(Qt::RightButton) << false;
    }
    void clickingARow() {
        QFETCH(bool, releaseInside);
        QFETCH(int, button);
        QFETCH(bool, opens);
        const QString path = writeFile(QStringLiteral("clicked.json"));
        OVRecentRow *row = showWithRecent({path, writeFile(QStringLiteral("other.json"))})->recentRows()[0];
        QTest::mousePress(row, Qt::MouseButton(button), {}, QPoint(5, 12));
        QCOMPARE(delegate->windows().size(), 0);  // a press alone does nothing
        QTest::mouseRelease(row, Qt::MouseButton(button), {}, QPoint(5, releaseInside ? 12 : 40));
        QCOMPARE(delegate->windows().size(), opens ? 1 : 0);
        QCOMPARE(!delegate->startWindow(), opens);
        if (opens) QCOMPARE(delegate->windows()[0]->path(), path);
        settle();  // the row and its window go only now
    }

    void hoverUnderlinesTheName() {
        OVRecentRow *row = showWithRecent(recentFiles(1))->recentRows()[0];
        const QImage plain = row->grab().toImage();
        QEnterEvent enter(QPointF(5, 12), QPointF(5, 12), row->mapToGlobal(QPointF(5, 12)));
        QCoreApplication::sendEvent(row, &enter);
        const QImage hovered = row->grab().toImage();
        QVERIFY(hovered != plain);
        // The folder, right of the name, is drawn the same.
        const int end =
            int(std::ceil(QFontMetricsF(OVTheme::uiFont(13)).horizontalAdvance(row->title()))) + 1;
        const QRect folder(end, 0, row->width() - end, row->height());
        QCOMPARE(hovered.copy(folder), plain.copy(folder));
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(row, &leave);
        QCOMPARE(row->grab().toImage(), plain);
    }

    void showsItsTexts() {
        OVStartView *view = showWithRecent(recentFiles(1));
        QCOMPARE(view->window()->windowTitle(), QStringLiteral("Orvel"));
        QCOMPARE(view->prompt()->text(), QStringLiteral("Drop a JSON file here"));
        QCOMPARE(view->openButton()->text(), QStringLiteral("Open…"));
        QCOMPARE(view->clipboardButton()->text(), QStringLiteral("Open from Clipboard"));
        QCOMPARE(view->recentTitle()->text(), QStringLiteral("Recent"));
    }

    // Without a menu bar the buttons still reach the application's Open and Open from Clipboard.
    // The panel shows JSON files first, all files on request.
    void buttons() {
        OVStartView *view = showWithRecent({});
        QTest::mouseClick(view->openButton(), Qt::LeftButton);
        QFileDialog *panel = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("openPanel") && w->isVisible())
                panel = qobject_cast<QFileDialog *>(w);
        QVERIFY(panel);
        QCOMPARE(panel->labelText(QFileDialog::FileType), QStringLiteral("Show:"));
        const QStringList filters = panel->nameFilters();
        QCOMPARE(filters.size(), 2);
        QVERIFY2(filters[0].startsWith(QStringLiteral("JSON files (*.json")), qPrintable(filters[0]));
        QCOMPARE(filters[1], QStringLiteral("All files (*)"));
        QCOMPARE(panel->selectedNameFilter(), filters[0]);
        panel->reject();
        ov_pasteboard()->setText(QStringLiteral("{\"a\": 1}"));
        QTest::mouseClick(view->clipboardButton(), Qt::LeftButton);
        QTRY_COMPARE(delegate->windows().size(), 1);
        QCOMPARE(delegate->windows()[0]->windowTitle(), QStringLiteral("Clipboard 1"));
        QVERIFY(!delegate->startWindow());
        settle();
    }

    void screenshots() {
        QDir().mkpath(QStringLiteral(ORVEL_SCREENS));
        const QString home = QDir::homePath();
        const QStringList recent = {
            home + QStringLiteral("/projects/orvel/package.json"),
            QStringLiteral("/var/log/app/events-2024-05-01.jsonl"),
            home +
                QStringLiteral(
                    "/Downloads/exports/2024/quarterly/report-for-the-board-final-v2-with-appendices.json")};
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(writeFile(QStringLiteral("shot.json")))});
        for (int theme : {2, 1}) {
            OVTheme::applyTheme(theme);
            const auto save = [theme](QWidget *w, const char *name) {
                QVERIFY(w->grab().save(QStringLiteral(ORVEL_SCREENS "/linux-start-%1-%2.png")
                                           .arg(QLatin1String(name), theme == 1 ? "dark" : "light")));
            };
            // Over a view, a drag with files shows its outline.
            const auto drag = [&files](QWidget *view, bool in) {
                QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &files, Qt::LeftButton,
                                      Qt::NoModifier);
                QDragLeaveEvent leave;
                QCoreApplication::sendEvent(view, in ? static_cast<QEvent *>(&enter) : &leave);
            };
            save(showWithRecent({})->window(), "empty");
            OVStartView *view = showWithRecent(recent);
            QEnterEvent enter(QPointF(5, 12), QPointF(5, 12), QPointF(5, 12));
            QCoreApplication::sendEvent(view->recentRows()[0], &enter);
            save(view->window(), "recent");
            drag(view, true);
            save(view->window(), "drop");
            drag(view, false);

            JxSettings &values = OVSettings::shared()->values();
            values.win_x = 0, values.win_y = 0, values.win_w = 720, values.win_h = 400;
            OVDocWindow *window = delegate->openPath(files.urls()[0].toLocalFile());
            QTRY_VERIFY(!window->busy());
            drag(window->rootView(), true);
            save(window, "docdrop");
            drag(window->rootView(), false);
            closeEverything(*delegate);
        }
        OVTheme::applyTheme(0);
    }
};

QTEST_MAIN(StartWindowTest)
#include "start_window_test.moc"
