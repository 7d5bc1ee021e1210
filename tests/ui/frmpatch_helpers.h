#pragma once

// The machine, files and look-ups that the main window's tests share.

#include "controls/drive_list.h"
#include "engine/patch_rules.h"
#include "places/volumes.h"
#include "ui/log_folder.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <filesystem>
#include <vector>

namespace frmpatch_helpers {

inline void writeFile(const QString& path, const QByteArray& content = {}) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray unpatchedScript() {
    QByteArray text;
    for (const engine::PatchRule& rule : engine::categoryPatch)
        text += QByteArray(rule.find.data(), static_cast<qsizetype>(rule.find.size())) + "\r\n";
    return text + "alias msn.vver return 4.8\r\n";
}

// A machine of its own for each test: drive C: with a scripts folder, a readable drive D:, a
// drive whose medium is gone, a drive whose root is a file, and C:'s root under another name.
struct Machine {
    Machine() {
        QDir root(scratch.path());
        root.mkpath("c/mirc/scripts");
        root.mkpath("c/Program Files");
        root.mkpath("d/backup");
        root.mkpath("data");
        writeFile(root.filePath("notafolder"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath("data")));
        // Beside the test program (Windows), the log outlives a machine: each starts without.
        QFile::remove(logFile());
    }
    // QTemporaryDir can neither name nor remove what is not UTF-8.
    ~Machine() { std::filesystem::remove_all(scratch.path().toStdString()); }

    QString path(const QString& relative) const { return scratch.filePath(relative); }

    places::VolumeSource volumes() const {
        const QString base = scratch.path();
        return [base] {
            return std::vector<places::Volume>{
                {base + "/c", "/", {}},
                {base + "/d", "/media/usb", "BACKUP"},
                {base + "/gone", "e:", {}},
                {base + "/notafolder", "/mnt/odd", {}},
                // C:'s root again, as Wine's z: is "/".
                {base + "/c", "z:", {}},
            };
        };
    }

    // Where the window's runs write the log: under the data folder set above on Linux, beside
    // the test program on Windows.
    QString logFile() const { return logFolder() + QStringLiteral("/parselog.log"); }

    QTemporaryDir scratch;
};

template <typename T> T* control(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// Records the status line's text each time it is painted.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QLabel* label)
        : label(label) {
        label->installEventFilter(this);
    }
    QStringList painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == label && event->type() == QEvent::Paint)
            painted << label->text();
        return false;
    }

private:
    QLabel* label;
};

// A widget drawn without the banner behind, in the screen's own pixels.
inline QImage drawnOnWhite(QWidget* widget) {
    const qreal ratio = qApp->devicePixelRatio();
    QImage image((QSizeF(widget->size()) * ratio).toSize(), QImage::Format_Grayscale8);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    widget->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

// The summed darkness of a picture, in fully black pixels.
inline double ink(const QImage& image) {
    double darkness = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            darkness += 255 - image.constScanLine(y)[x];
    }
    return darkness / 255;
}

// The lines of text in a picture: for each run of inked rows, the box around its ink. Lines set
// so close that they touch make one run.
inline QList<QRect> inkedLines(const QImage& image) {
    QList<QRect> lines;
    bool inLine = false;
    for (int y = 0; y < image.height(); ++y) {
        int left = image.width();
        int right = -1;
        for (int x = 0; x < image.width(); ++x) {
            if (image.constScanLine(y)[x] < 128) {
                left = std::min(left, x);
                right = x;
            }
        }
        if (right < 0) {
            inLine = false;
            continue;
        }
        const QRect row(left, y, right - left + 1, 1);
        if (inLine)
            lines.last() |= row;
        else
            lines.append(row);
        inLine = true;
    }
    return lines;
}

} // namespace frmpatch_helpers
