#pragma once

#include <QLabel>

namespace controls {

// The status line: a label whose changes are told to screen readers as they happen, carrying the
// new text, since a reader cannot ask for it while a patch run holds the program.
class StatusLine : public QLabel {
    Q_OBJECT

public:
    explicit StatusLine(QWidget* parent = nullptr);

    void setStatus(const QString& text);
};

} // namespace controls
