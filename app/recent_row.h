// recent_row.h: one recent file on the start window: its name, then its folder in a smaller,
// fainter type. Underlined under the pointer; a click opens the file.
#ifndef OV_RECENT_ROW_H
#define OV_RECENT_ROW_H

#include "text_button.h"

class OVRecentRow : public OVTextButton {
public:
    static constexpr int HEIGHT = 24;

    OVRecentRow(const QString &path, QWidget *parent = nullptr);

    QString path() const { return m_path; }
    // The folder as the row shows it: the home folder and what lies under it begin with "~".
    static QString folderText(const QString &path);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QString m_path;
};

#endif
