// The start window: where its parts sit, its recent rows and what clicking them does, its buttons,
// and how it looks.
#include "delegate_fixture.h"
#include "drop_outline.h"
#include "label.h"
#include "menus.h"
#include "pasteboard.h"
#include "recent_row.h"
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

    QString writeFile(const QString &name, const QByteArray &text = "[1, 2]") {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return file.fileName();
    }
    // Notes count files as opened, the last one first on the list, then shows the start window.
    OVStartView *showWithRecent(int count) {
        for (int i = count - 1; i >= 0; i--)
            delegate->noteRecent(dir.filePath(QStringLiteral("recent%1.json").arg(i)));
        delegate->showStartWindow();
        return static_cast<OVStartWindow *>(delegate->startWindow())->startView();
    }
    static void resizeWindow(OVStartView *view, QSize size) {
        view->window()->resize(size);
        QTRY_COMPARE(view->size(), size);
    }
    static QImage shot(QWidget *widget) { return widget->grab().toImage(); }

private slots:
    void init() {
        delegate = std::make_unique<OVAppDelegate>();
        delegate->applicationWillFinishLaunching();
    }
    void cleanup() {
        closeEverything(*delegate);
        delegate.reset();
    }

    void window() {
        delegate->showStartWindow();
        QWidget *window = delegate->startWindow();
        QCOMPARE(window->windowTitle(), QStringLiteral("Orvel"));
        QCOMPARE(window->size(), QSize(640, 460));
        QCOMPARE(window->minimumSize(), QSize(420, 320));
        auto *view = static_cast<OVStartWindow *>(window)->startView();
        QCOMPARE(view->geometry(), window->rect());
        QCOMPARE(view->prompt()->text(), QStringLiteral("Drop a JSON file here"));
        QCOMPARE(view->prompt()->font().pixelSize(), 24);
        QCOMPARE(view->prompt()->font().weight(), QFont::Light);
        QCOMPARE(view->openButton()->text(), QStringLiteral("Open…"));
        QCOMPARE(view->clipboardButton()->text(), QStringLiteral("Open from Clipboard"));
        QCOMPARE(view->recentTitle()->text(), QStringLiteral("Recent"));
        // The start window has no menu bar, yet its keys work.
        QVERIFY(ov_find_action(window, QStringLiteral("openDocument")));
        QVERIFY(ov_find_action(window, QStringLiteral("ovOpenClipboard")));
        QVERIFY(ov_find_action(window, QStringLiteral("terminate")));
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
        OVStartView *view = showWithRecent(recent);
        resizeWindow(view, size);
        const int w = size.width(), h = size.height();
        QCOMPARE(view->recentRows().size(), rows);
        QCOMPARE(view->recentTitle()->isVisible(), rows > 0);
        QCOMPARE(view->outline()->geometry(), QRect(0, 0, w, h));

        const QRect prompt = view->prompt()->geometry();
        QCOMPARE(prompt.x(), 20);
        QCOMPARE(prompt.width(), w - 40);
        QCOMPARE(prompt.height(), 34);
        QVERIFY(prompt.y() >= 24);

        // The buttons at their fitted sizes, 52 below the prompt's top, 12 apart, centred as a pair.
        const QRect open = view->openButton()->geometry(), clip = view->clipboardButton()->geometry();
        QCOMPARE(open.size(), view->openButton()->sizeHint());
        QCOMPARE(clip.size(), view->clipboardButton()->sizeHint());
        QCOMPARE(open.y(), prompt.y() + 52);
        QCOMPARE(clip.y(), open.y());
        QCOMPARE(clip.x(), open.x() + open.width() + 12);
        const int slack = (w - clip.right() - 1) - open.x();
        QVERIFY2(slack == 0 || slack == 1, qPrintable(QString::number(slack)));

        // The list: at most 460 wide, 40 from the sides when narrower, centred.
        const int listWidth = std::min(w - 80, 460);
        const QRect title = view->recentTitle()->geometry();
        QCOMPARE(title, QRect((w - listWidth) / 2, open.bottom() + 1 + 34, listWidth, 20));
        for (int i = 0; i < rows; i++)
            QCOMPARE(view->recentRows()[i]->geometry(),
                     QRect(title.x(), title.y() + 20 + 24 * i, listWidth, 24));

        // What is there stands in the middle: with rows, from the prompt to the last row; without,
        // the prompt and the buttons, raised by 20.
        const int block = (rows ? title.y() + 20 + 24 * rows : open.bottom() + 1) - prompt.y();
        const int centred = int(std::floor((h - block) / 2.0)) - (rows ? 0 : 20);
        QCOMPARE(prompt.y(), pinned ? 24 : centred);
        QCOMPARE(centred < 24, pinned);
    }

    void recentRows() {
        OVStartView *view = showWithRecent(2);
        QCOMPARE(view->recentRows()[0]->path(), dir.filePath(QStringLiteral("recent0.json")));
        QCOMPARE(view->recentRows()[0]->title(), QStringLiteral("recent0.json"));
        QCOMPARE(view->recentRows()[0]->toolTip(), dir.filePath(QStringLiteral("recent0.json")));
        QCOMPARE(view->recentRows()[0]->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(view->recentRows()[1]->path(), dir.filePath(QStringLiteral("recent1.json")));
        // Clear Menu empties the window's list at once.
        delegate->clearRecent();
        QCOMPARE(view->recentRows().size(), 0);
        QVERIFY(!view->recentTitle()->isVisible());
        QCOMPARE(view->prompt()->y(), (460 - view->openButton()->height() - 52) / 2 - 20);
        // Showing the window again reads the list again.
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
        delegate->noteRecent(writeFile(QStringLiteral("other.json")));
        delegate->noteRecent(path);
        delegate->showStartWindow();
        OVRecentRow *row =
            static_cast<OVStartWindow *>(delegate->startWindow())->startView()->recentRows()[0];
        QTest::mousePress(row, Qt::MouseButton(button), {}, QPoint(5, 12));
        QCOMPARE(delegate->windows().size(), 0);  // a press alone does nothing
        QTest::mouseRelease(row, Qt::MouseButton(button), {}, releaseInside ? QPoint(5, 12) : QPoint(5, 40));
        QCOMPARE(delegate->windows().size(), opens ? 1 : 0);
        QCOMPARE(!delegate->startWindow(), opens);
        if (opens) QCOMPARE(delegate->windows()[0]->path(), path);
        settle();  // the row and its window go only now
    }

    void hoverUnderlinesTheName() {
        OVStartView *view = showWithRecent(1);
        OVRecentRow *row = view->recentRows()[0];
        const QImage plain = shot(row);
        QEnterEvent enter(QPointF(5, 12), QPointF(5, 12), row->mapToGlobal(QPointF(5, 12)));
        QCoreApplication::sendEvent(row, &enter);
        QVERIFY(row->hover());
        const QImage hovered = shot(row);
        QVERIFY(hovered != plain);
        // Only the name changes: the folder, right of it, is drawn the same.
        const int nameEnd =
            int(std::ceil(QFontMetricsF(OVTheme::uiFont(13)).horizontalAdvance(row->title()))) + 1;
        QCOMPARE(hovered.copy(nameEnd, 0, row->width() - nameEnd, row->height()),
                 plain.copy(nameEnd, 0, row->width() - nameEnd, row->height()));
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(row, &leave);
        QVERIFY(!row->hover());
        QCOMPARE(shot(row), plain);
    }

    void openButton() {
        OVStartView *view = showWithRecent(0);
        QTest::mouseClick(view->openButton(), Qt::LeftButton);
        QFileDialog *panel = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("openPanel") && w->isVisible())
                panel = qobject_cast<QFileDialog *>(w);
        QVERIFY(panel);
        QCOMPARE(panel->fileMode(), QFileDialog::ExistingFiles);
        panel->reject();
        settle();
    }

    void clipboardButton() {
        OVStartView *view = showWithRecent(0);
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
                QStringLiteral("/Downloads/a very long file name of some export that goes on and on.json")};
        for (int theme : {2, 1}) {
            OVTheme::applyTheme(theme);
            const QString suffix = theme == 1 ? QStringLiteral("dark") : QStringLiteral("light");
            const auto save = [&suffix](QWidget *w, const char *name) {
                QVERIFY(w->grab().save(QStringLiteral(ORVEL_SCREENS "/linux-start-") + QLatin1String(name) +
                                       QLatin1Char('-') + suffix + QStringLiteral(".png")));
            };
            delegate->showStartWindow();
            QWidget *window = delegate->startWindow();
            save(window, "empty");
            for (qsizetype i = recent.size() - 1; i >= 0; i--) delegate->noteRecent(recent[i]);
            delegate->showStartWindow();
            OVStartView *view = static_cast<OVStartWindow *>(window)->startView();
            QEnterEvent enter(QPointF(5, 12), QPointF(5, 12), QPointF(5, 12));
            QCoreApplication::sendEvent(view->recentRows()[0], &enter);
            save(window, "recent");
            QMimeData files;
            files.setUrls({QUrl::fromLocalFile(recent[0])});
            QDragEnterEvent drag(QPoint(300, 200), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(view, &drag);
            QVERIFY(view->outline()->isVisible());
            save(window, "drop");
            QDragLeaveEvent leave;
            QCoreApplication::sendEvent(view, &leave);
            closeEverything(*delegate);
        }
        OVTheme::applyTheme(0);
    }
};

QTEST_MAIN(StartWindowTest)
#include "start_window_test.moc"
