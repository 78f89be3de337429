#include "frm_Preview.h"

#include "TBitmap.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace velto {

TfrmPreview::TfrmPreview(int width, int height, std::function<void()> onClose)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint |
                           Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      picture_(std::max(width, 1), std::max(height, 1), QImage::Format_RGB888),
      onClose_(std::move(onClose)) {
    setObjectName(QStringLiteral("frmPreview"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    picture_.fill(Qt::black);
    setFixedSize(picture_.size());
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmPreview::ShowBitmap(const TBitmap& bitmap) {
    const int width = std::min(bitmap.Width(), picture_.width());
    const int height = std::min(bitmap.Height(), picture_.height());
    // The bitmap's rows are blue, green, red; the image's red, green, blue.
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* source = bitmap.ScanLine(y);
        std::uint8_t* target = picture_.scanLine(y);
        for (int x = 0; x < width; ++x) {
            target[3 * x] = source[3 * x + 2];
            target[3 * x + 1] = source[3 * x + 1];
            target[3 * x + 2] = source[3 * x];
        }
    }
    update();
}

void TfrmPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, picture_);
}

void TfrmPreview::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    // The window system moves the window where it can; elsewhere (offscreen, some X window
    // managers) the window follows the mouse itself.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TfrmPreview::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !(event->buttons() & Qt::LeftButton)) {
        dragging_ = false;
        return QWidget::mouseMoveEvent(event);
    }
    move(event->globalPosition().toPoint() - dragOffset_);
}

void TfrmPreview::closeEvent(QCloseEvent* event) {
    event->accept();
    if (onClose_)
        onClose_();
}

namespace {

class TQtPreviewWindow : public IPreviewWindow {
public:
    TQtPreviewWindow(int width, int height, std::function<void()> onClose)
        : window_(width, height, std::move(onClose)) {
        window_.show();
    }
    void SetCaption(const std::string& caption) override {
        window_.setWindowTitle(QString::fromStdString(caption));
    }
    void Draw(const TBitmap& bitmap) override { window_.ShowBitmap(bitmap); }

private:
    TfrmPreview window_;
};

} // namespace

TPreviewWindowFactory QtPreviewWindowFactory() {
    return [](int width, int height, std::function<void()> onClose) {
        return std::make_unique<TQtPreviewWindow>(width, height, std::move(onClose));
    };
}

} // namespace velto
