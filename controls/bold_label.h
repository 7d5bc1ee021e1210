#pragma once

#include <QLabel>

namespace controls {

// A label of plain text in a bold face, drawn heavier on a scaled screen. There no hand-drawn
// bitmap fits and the font engine emboldens the smoothed regular outlines, which leaves the text
// looking regular: 1.25 times the ink of the regular face at twice the size, where the font's
// bold bitmaps have 1.7 times. A second pass of the same text, a quarter of a pixel to the right,
// thickens every stem; being the label's own drawing, it breaks the lines where the label does.
// At the natural size the bitmaps are drawn as they are.
class BoldLabel : public QLabel {
    Q_OBJECT

public:
    explicit BoldLabel(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace controls
