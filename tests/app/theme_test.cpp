#include "theme.h"

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QPainter>
#include <QStyle>
#include <QtTest>

namespace {

// Every role as a labelled square, then a few rows of the list font in the styles' colours, one
// run on each hit background: what the screenshots show to check the palette by eye.
class Swatches : public QWidget {
public:
    Swatches() { resize(560, 150 + 5 * OVTheme::rowHeight()); }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.fillRect(rect(), OVTheme::color(0));
        p.setFont(OVTheme::uiFont(11));
        for (int role = 0; role < OVTheme::ROLES; role++) {
            QRect box(10 + (role % 9) * 60, 10 + (role / 9) * 60, 50, 36);
            p.fillRect(box, OVTheme::color(role));
            p.setPen(OVTheme::color(2));
            p.drawRect(box.adjusted(0, 0, -1, -1));
            p.setPen(OVTheme::color(5));
            p.drawText(QRect(box.left(), box.bottom() + 2, box.width(), 14), Qt::AlignCenter, QString::number(role));
        }
        p.setFont(OVTheme::listFont());
        const int row = OVTheme::rowHeight();
        const double cw = OVTheme::charWidth();
        struct Run {
            const char *text;
            int style, hit;
        };
        const std::vector<std::vector<Run>> lines = {
            {{"\"name\"", 1, 0}, {": ", 7, 0}, {"\"Orvel\"", 3, 0}, {",", 7, 0}},
            {{"\"size\"", 1, 0}, {": ", 7, 0}, {"1.5e3", 4, 1}, {", ", 7, 0}, {"true", 5, 2}, {", ", 7, 0}, {"null", 6, 0}},
            {{"items", 2, 0}, {" ", 0, 0}, {"[3]", 8, 0}, {" ", 0, 0}, {"{ id, kind }", 9, 0}, {"  note", 10, 0}},
            {{"plain text ", 0, 0}, {"unexpected end of input", 11, 0}},
        };
        int y = 140;
        for (const auto &line : lines) {
            double x = 10;
            for (const Run &run : line) {
                QString text = QString::fromUtf8(run.text);
                QRectF box(x, y, cw * double(text.size()), row);
                if (int bg = OVTheme::hitRole(run.hit); bg >= 0) p.fillRect(box, OVTheme::color(bg));
                p.setPen(OVTheme::color(OVTheme::toneOfStyle(run.style)));
                p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
                x += box.width();
            }
            y += row;
        }
    }
};

} // namespace

class ThemeTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        OVTheme::applyTheme(0);
        OVTheme::setFontSize(0);
    }

    void rolesOutOfRangeReadAsDefaultText() {
        for (int role : {-1, 18, 1000})
            for (bool dark : {false, true}) QCOMPARE(OVTheme::color(role, dark), OVTheme::color(4, dark));
        QCOMPARE(OVTheme::color(0, false).rgb(), 0xFFFBFBFAu);
        QCOMPARE(OVTheme::color(17, true).rgb(), 0xFF3B2325u);
    }

    // Text roles must stand out against the background in both appearances; a light value in the
    // dark table (or the other way round) fails here.
    void textRolesContrastWithTheBackground() {
        for (int role : {4, 5, 7, 8, 9, 10, 11, 12, 16}) {
            QVERIFY2(OVTheme::color(role, false).lightnessF() < OVTheme::color(0, false).lightnessF() - 0.2,
                     qPrintable(QString::number(role)));
            QVERIFY2(OVTheme::color(role, true).lightnessF() > OVTheme::color(0, true).lightnessF() + 0.2,
                     qPrintable(QString::number(role)));
        }
        for (bool dark : {false, true}) QCOMPARE(OVTheme::color(4, dark).alpha(), 255);
    }

    void stylesMapToRoles() {
        const int cases[][2] = {{-1, 4}, {0, 4}, {1, 7}, {2, 5}, {3, 8},  {4, 9},  {5, 10},
                                {6, 11}, {7, 12}, {8, 5}, {9, 5}, {10, 5}, {11, 16}, {12, 4}};
        for (auto [style, role] : cases) QCOMPARE(OVTheme::toneOfStyle(style), role);
        const int hits[][2] = {{0, -1}, {1, 14}, {2, 15}, {3, -1}};
        for (auto [hit, role] : hits) QCOMPARE(OVTheme::hitRole(hit), role);
    }

    void fontSizeStaysInItsLimits() {
        const int cases[][2] = {{0, 13}, {5, 9}, {9, 9}, {17, 17}, {24, 24}, {40, 24}, {-3, 9}};
        for (auto [given, size] : cases) {
            OVTheme::setFontSize(given);
            QCOMPARE(OVTheme::fontSize(), size);
            QCOMPARE(OVTheme::listFont().pixelSize(), size);
            QCOMPARE(OVTheme::rowHeight(), OVTheme::lineHeight() + 4);
        }
    }

    void listFontIsMonospacedAndMeasured() {
        int lastHeight = 0;
        for (int size : {9, 13, 24}) {
            OVTheme::setFontSize(size);
            QFont font = OVTheme::listFont();
            QVERIFY(QFontInfo(font).fixedPitch());
            QFontMetricsF metrics(font);
            QCOMPARE(OVTheme::charWidth(), metrics.horizontalAdvance(QStringLiteral("0")));
            QCOMPARE(OVTheme::charWidth(), metrics.horizontalAdvance(QStringLiteral("W")));
            QVERIFY(OVTheme::lineHeight() >= metrics.height());
            QVERIFY(OVTheme::lineHeight() > lastHeight);
            lastHeight = OVTheme::lineHeight();
        }
    }

    void themesSwitchTheAppearance() {
        const QPalette desktop = QGuiApplication::palette();
        const QString desktopStyle = QApplication::style()->name();
        QWidget widget;
        widget.show();
        for (int theme : {1, 2, 1, 0, 2, 0}) {
            OVTheme::applyTheme(theme);
            QCoreApplication::processEvents();
            if (theme == 0) {
                QCOMPARE(QGuiApplication::palette().color(QPalette::Window), desktop.color(QPalette::Window));
                QCOMPARE(QApplication::style()->name(), desktopStyle);
                QCOMPARE(OVTheme::isDark(), OVTheme::isDark(desktop));
                continue;
            }
            const bool dark = theme == 1;
            QCOMPARE(OVTheme::isDark(), dark);
            QCOMPARE(QApplication::style()->name().toLower(), QStringLiteral("fusion"));
            QCOMPARE(widget.palette().color(QPalette::Window), OVTheme::color(0, dark));
            QCOMPARE(widget.palette().color(QPalette::Text), OVTheme::color(4, dark));
            for (int role = 0; role < OVTheme::ROLES; role++) QCOMPARE(OVTheme::color(role), OVTheme::color(role, dark));
        }
    }

    void screenshots() {
        QDir().mkpath(QStringLiteral(ORVEL_SCREENS));
        Swatches swatches;
        swatches.show();
        for (auto [theme, name] : {std::pair{2, "light"}, std::pair{1, "dark"}}) {
            OVTheme::applyTheme(theme);
            QImage image = swatches.grab().toImage();
            QCOMPARE(image.pixelColor(3, 3), OVTheme::color(0, theme == 1));
            QVERIFY(image.save(QStringLiteral(ORVEL_SCREENS "/linux-theme-%1.png").arg(QLatin1String(name))));
        }
    }
};

QTEST_MAIN(ThemeTest)
#include "theme_test.moc"
