// The preview window: a tool window that stays on top, as large as the picture, captioned with
// the frame's time and moved by dragging anywhere inside it. Closing it ends that task's
// preview. Created, drawn and destroyed on the GUI thread (the previewer sees to that).
#pragma once

#include "PreviewWindow.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <functional>

namespace velto {

class TfrmPreview : public QWidget {
    Q_OBJECT
public:
    TfrmPreview(int width, int height, std::function<void()> onClose);

    // The last frame, as drawn.
    const QImage& Picture() const { return picture_; }
    void ShowBitmap(const TBitmap& bitmap);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QImage picture_;
    std::function<void()> onClose_;
    // Where the button went down, relative to the window; null when not dragging.
    QPoint dragOffset_;
    bool dragging_ = false;
};

// The factory the engine's previewers use: each window is a TfrmPreview.
TPreviewWindowFactory QtPreviewWindowFactory();

} // namespace velto
