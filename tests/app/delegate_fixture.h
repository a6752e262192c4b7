// Helpers for tests that run the application delegate headless.
#ifndef OV_DELEGATE_FIXTURE_H
#define OV_DELEGATE_FIXTURE_H

#include "application.h"
#include "doc_fixture.h"
#include "doc_window.h"
#include "log.h"
#include "settings_store.h"
#include "start_window.h"

#include <QAbstractButton>
#include <QFile>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QThreadPool>
#include <QtTest>


// Everything the log holds so far.
inline QString logText() {
    QFile file(ov_log_path());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The alerts up now, oldest first.
inline QList<QMessageBox *> alerts() {
    QList<QMessageBox *> boxes;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            boxes.append(box);
    return boxes;
}

// An alert's button titles, in the order given.
inline QStringList buttonTitles(QMessageBox *box) {
    QStringList titles;
    for (QAbstractButton *button : box->buttons())
        titles.append(button->text());
    return titles;
}

// Runs deferred deletes, so that closed windows are gone.
inline void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Answers every alert, closes every window and the start window, and forgets the settings.
inline void closeEverything(OVAppDelegate &delegate) {
    for (QMessageBox *box : alerts())
        box->done(1000);
    for (OVDocWindow *w : delegate.windows())
        w->close();
    if (QWidget *start = delegate.startWindow())
        start->close();
    settle();
    jx_settings_default(&OVSettings::shared()->values());
}

// Opens path count times; each time start(window, i) sets some work going, the window closes
// after a random wait of up to maxWaitMs (seeded, so a failure repeats), and once every worker
// is done no window is left. The sanitizer build checks that nothing leaks or is touched late.
template <class Start>
void closeAtRandomMoments(OVAppDelegate &delegate, const QString &path, int count, int maxWaitMs, Start start) {
    QRandomGenerator rng(7);
    for (int i = 0; i < count; i++) {
        OVDocWindow *window = delegate.openPath(path);
        start(window, i);
        QTest::qWait(int(rng.bounded(0, maxWaitMs)));
        window->close();
        settle();
    }
    QThreadPool::globalInstance()->waitForDone();
    settle();
    QVERIFY(delegate.windows().isEmpty());
}

#endif
