// The Text view build: progress and installation, models nobody wants any more, and the rate of
// progress reports.
#include "parts_fixture.h"

#include <QtTest>

#include <chrono>
#include <thread>

#include <jx/text.h>

class TextBuilderTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { drainWorkers(); }

    // A build shows its progress, then the view takes the model, switches and runs the block.
    void buildsAndInstalls() {
        PartsOwner owner(viewOf("{\"a\": [1, 2]}"));
        QStringList events;
        owner.text->beginProgress = [&](const std::shared_ptr<OVJob> &, const QString &label) { events << label; };
        owner.text->endProgress = [&](const OVJob *) { events << "end"; };
        owner.text->installed = [&] { events << "installed"; };
        owner.text->build(JX_TEXT_FILE, [&] { events << "then"; });
        QTRY_VERIFY(!owner.text->busy());
        QCOMPARE(events, (QStringList{"Preparing the Text view", "end", "installed", "then"}));
        QCOMPARE(jx_view_mode(owner.view), uint32_t(JX_MODE_TEXT));
        QCOMPARE(jx_text_mode(jx_view_text(owner.view)), int(JX_TEXT_FILE));
    }

    // Back to the Tree view while preparing, a newer build, or a reload: the model never reaches
    // the view it was not built for.
    void unwantedModelsAreDropped_data() {
        QTest::addColumn<int>("next");
        QTest::newRow("cancelled") << 0;
        QTest::newRow("newer build") << 1;
        QTest::newRow("view of another document") << 2;
    }
    void unwantedModelsAreDropped() {
        QFETCH(int, next);
        PartsOwner owner(viewOf(bigArray(50000)));
        int installs = 0;
        owner.text->installed = [&] { installs++; };
        owner.text->build(JX_TEXT_PRETTY);
        const std::shared_ptr<OVJob> first = owner.text->job();
        if (next == 0) owner.text->cancel();
        if (next == 1) owner.text->build(JX_TEXT_FILE);
        if (next == 2) owner.replaceView(viewOf("[1, 2]"));
        QCOMPARE(first->cancelled(), next != 2);
        QTRY_VERIFY(!owner.text->busy());
        drainWorkers();
        QCOMPARE(installs, next == 1 ? 1 : 0);
        QCOMPARE(jx_view_mode(owner.view), uint32_t(next == 1 ? JX_MODE_TEXT : JX_MODE_TREE));
        QCOMPARE(jx_text_mode(jx_view_text(owner.view)), next == 1 ? int(JX_TEXT_FILE) : 0);
    }

    // Progress goes out at most once every 100 ms; nothing to do reads as done.
    void progressRate() {
        QObject owner;
        const std::shared_ptr<OVJob> job = OVJob::create(&owner);
        QList<double> posted;
        job->onProgress = [&](OVJob &, double fraction) { posted << fraction; };
        for (uint64_t done = 1; done <= 1000; done++) OVJob::rateProgress(job.get(), done, 1000);
        QCoreApplication::processEvents();
        QCOMPARE(posted, QList<double>{0.001});
        std::this_thread::sleep_for(std::chrono::milliseconds(110));
        OVJob::rateProgress(job.get(), 0, 0);
        QCoreApplication::processEvents();
        QCOMPARE(posted, (QList<double>{0.001, 1.0}));
    }
};

QTEST_MAIN(TextBuilderTest)
#include "text_builder_test.moc"
