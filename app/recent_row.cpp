#include "recent_row.h"

#include "label.h"
#include "theme.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace {
constexpr int NAME_SIZE = 13;
constexpr int FOLDER_SIZE = 11;
constexpr int NAME_ROLE = 4;
constexpr int FOLDER_ROLE = 6;
const char *const GAP = "   ";
}  // namespace

OVRecentRow::OVRecentRow(const QString &path, QWidget *parent)
    : OVTextButton(QFileInfo(path).fileName(), NAME_ROLE, parent), m_path(path) {
    setToolTip(path);
}

QString OVRecentRow::folderText(const QString &path) {
    const QString folder = QFileInfo(path).path();
    const QString home = QDir::homePath();
    // A sibling such as /home/ann2 of the home /home/ann is no part of it.
    if (home != QLatin1String("/") && (folder == home || folder.startsWith(home + QLatin1Char('/'))))
        return QLatin1Char('~') + folder.mid(home.size());
    return folder;
}

// One line on one baseline in two fonts; what does not fit ends in "…", the folder going first.
void OVRecentRow::paintEvent(QPaintEvent *) {
    QFont nameFont = OVTheme::uiFont(NAME_SIZE);
    nameFont.setUnderline(hover());
    const QFont folderFont = OVTheme::uiFont(FOLDER_SIZE);
    const QFontMetricsF names(nameFont), folders(folderFont);
    const qreal top = std::floor((height() - OVLabel::lineHeight(nameFont)) / 2.0);
    const QPointF origin(0, top + names.ascent());
    const qreal width = this->width();

    QPainter p(this);
    p.setPen(OVTheme::color(NAME_ROLE));
    p.setFont(nameFont);
    const qreal nameWidth = names.horizontalAdvance(title());
    if (nameWidth > width) {
        p.drawText(origin, names.elidedText(title(), Qt::ElideRight, width));
        return;
    }
    p.drawText(origin, title());
    const QString folder = QLatin1String(GAP) + folderText(m_path);
    p.setPen(OVTheme::color(FOLDER_ROLE));
    p.setFont(folderFont);
    p.drawText(origin + QPointF(nameWidth, 0), folders.elidedText(folder, Qt::ElideRight, width - nameWidth));
}
