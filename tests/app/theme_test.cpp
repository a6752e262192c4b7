#include <QApplication>
#include <QWidget>
#include <QtTest>

class ThemeTest : public QObject {
    Q_OBJECT
private slots:
    void drawsHeadless() {
        QWidget w;
        w.resize(80, 40);
        w.show();
        QVERIFY(!w.grab().isNull());
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    }
};

QTEST_MAIN(ThemeTest)
#include "theme_test.moc"
