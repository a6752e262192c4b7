// One Orvel per user and display: a second process forwards its files and exits.
#include "delegate_fixture.h"
#include "instance.h"
#include "options.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

class InstanceTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> runtime;

    // Runs the orvel program with args in cwd; answers its exit code (-1 when it did not end).
    int runOrvel(const QStringList &args, const QString &cwd) {
        QProcess orvel;
        orvel.setWorkingDirectory(cwd);
        orvel.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        QSignalSpy finished(&orvel, &QProcess::finished);
        orvel.start(QStringLiteral(ORVEL_BIN), args);
        // This process must keep serving its socket meanwhile: wait with the event loop.
        if (!finished.wait(20000)) {
            orvel.kill();
            orvel.waitForFinished();
            return -1;
        }
        return orvel.exitStatus() == QProcess::NormalExit ? orvel.exitCode() : -1;
    }

private slots:
    void init() {
        // Each test its own runtime folder, hence its own socket.
        runtime = std::make_unique<QTemporaryDir>();
        QFile::setPermissions(runtime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime->path()));
    }

    void forwardsAbsolutePaths() {
        OVInstance first;
        QCOMPARE(first.start({}), OVInstance::PRIMARY);
        QVERIFY(QFileInfo::exists(OVInstance::socketPath()));
        QSignalSpy requests(&first, &OVInstance::openRequested);
        QCOMPARE(runOrvel({QStringLiteral("b.json"), QStringLiteral("../c.json")}, runtime->path()), 0);
        QCOMPARE(requests.size(), 1);
        const QString parent = QFileInfo(runtime->path()).path();
        QCOMPARE(requests[0][0].toStringList(), QStringList({runtime->filePath(QStringLiteral("b.json")), parent + QStringLiteral("/c.json")}));
        // Without files the running process is asked to come forward.
        QCOMPARE(runOrvel({}, runtime->path()), 0);
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[1][0].toStringList(), QStringList());
    }

    void replacesAStaleSocket() {
        QFile stale(OVInstance::socketPath());
        QVERIFY(stale.open(QIODevice::WriteOnly)); // left by a process that died
        stale.close();
        OVInstance instance;
        QCOMPARE(instance.start({}), OVInstance::PRIMARY);
    }

    void scriptModeNeitherListensNorForwards() {
        ov_options().scriptPath = QStringLiteral("script.txt");
        OVInstance alone;
        const OVInstance::Role first = alone.start({QStringLiteral("/x.json")});
        const bool listened = QFileInfo::exists(OVInstance::socketPath());
        ov_options().scriptPath.clear();
        QCOMPARE(first, OVInstance::ALONE);
        QVERIFY(!listened);

        OVInstance running;
        QCOMPARE(running.start({}), OVInstance::PRIMARY);
        QSignalSpy requests(&running, &OVInstance::openRequested);
        ov_options().scriptPath = QStringLiteral("script.txt");
        OVInstance scripted;
        const OVInstance::Role second = scripted.start({QStringLiteral("/x.json")});
        ov_options().scriptPath.clear();
        QCOMPARE(second, OVInstance::ALONE);
        QCoreApplication::processEvents();
        QCOMPARE(requests.size(), 0);
    }

    void runningOrvelOpensOrFocuses() {
        QTemporaryDir files;
        QFile file(files.filePath(QStringLiteral("f.json")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[1, 2, 3]");
        file.close();
        OVAppDelegate delegate;
        delegate.applicationWillFinishLaunching();
        OVInstance instance;
        QCOMPARE(instance.start({}), OVInstance::PRIMARY);
        connect(&instance, &OVInstance::openRequested, &delegate, &OVAppDelegate::openPaths);
        QCOMPARE(runOrvel({QStringLiteral("f.json")}, files.path()), 0);
        QCOMPARE(delegate.windows().size(), 1);
        QCOMPARE(delegate.windows()[0]->path(), file.fileName());
        QCOMPARE(runOrvel({QStringLiteral("./f.json")}, files.path()), 0);
        QCOMPARE(delegate.windows().size(), 1);
        QVERIFY(logText().contains(QStringLiteral("focus ") + file.fileName()));
        closeEverything(delegate);
    }
};

QTEST_MAIN(InstanceTest)
#include "instance_test.moc"
