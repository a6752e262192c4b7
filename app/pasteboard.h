// pasteboard.h: the clipboard every copy, paste and clipboard open uses.
#ifndef OV_PASTEBOARD_H
#define OV_PASTEBOARD_H

#include <QObject>
#include <QString>

// Plain text only. Normally the desktop's clipboard; in script mode a private one that lives in
// the process, so that scripts never touch the user's clipboard. Main thread only.
class OVPasteboard : public QObject {
    Q_OBJECT
public:
    explicit OVPasteboard(bool isPrivate, QObject *parent = nullptr);
    QString text() const;
    void setText(const QString &text);
    void clear();
    bool isPrivate() const { return priv; }

private:
    bool priv;
    QString held;
};

// The process's pasteboard, created on first use.
OVPasteboard *ov_pasteboard();

#endif
