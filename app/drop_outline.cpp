#include "drop_outline.h"

#include "theme.h"

#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QSysInfo>
#include <QUrl>

namespace {
constexpr qreal INSET = 8;
constexpr qreal RADIUS = 10;
constexpr qreal LINE_WIDTH = 2;
constexpr qreal DASH_ON = 7;
constexpr qreal DASH_OFF = 5;
constexpr int ROLE = 7;
}  // namespace

// A file URL is local with no host, "localhost" or this machine's name. Qt would turn
// file://server/x into "//server/x", which reads as the local /server/x once standardized:
// a different file, so such URLs are no files of ours.
static QString localPath(const QUrl &url) {
    if (!url.isLocalFile()) return QString();
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0 &&
        host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) != 0)
        return QString();
    const QString path = url.path(QUrl::FullyDecoded);
    return path.startsWith(QLatin1Char('/')) ? path : QString();
}

QStringList ov_dragged_files(const QMimeData *data) {
    QStringList paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl &url : data->urls())
        if (const QString path = localPath(url); !path.isEmpty()) paths.append(path);
    return paths;
}

OVDropOutline::OVDropOutline(QWidget *parent) : QWidget(parent) {
    // Clicks, and the search for a drop target, pass through to the views below.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

bool OVDropOutline::follow(QEvent *event, const std::function<void(const QStringList &)> &open) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            const bool files = !ov_dragged_files(drag->mimeData()).isEmpty();
            if (event->type() == QEvent::DragEnter && files) {
                // Views added after the outline would otherwise cover it.
                raise();
                show();
            }
            if (files) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::DragLeave: hide(); return true;
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            hide();
            const QStringList files = ov_dragged_files(drop->mimeData());
            if (files.isEmpty()) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            open(files);
            return true;
        }
        default: return false;
    }
}

void OVDropOutline::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(OVTheme::color(ROLE), LINE_WIDTH);
    // Qt measures dashes in line widths.
    pen.setDashPattern({DASH_ON / LINE_WIDTH, DASH_OFF / LINE_WIDTH});
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(INSET, INSET, -INSET, -INSET), RADIUS, RADIUS);
}
