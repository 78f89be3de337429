#include "Previewer.h"

#include "MainThreadDispatcher.h"
#include "MyUtils.h"

extern "C" {
#include <libavutil/avutil.h>
}

namespace velto {

TPreviewer::TPreviewer(TPreviewWindowFactory factory) : factory_(std::move(factory)) {}

TPreviewer::~TPreviewer() {
    if (!windowCreated_)
        return;
    if (!RunOnMainThread([this] { window_.reset(); })) {
        // The main thread is shutting down and takes no more work; freeing the window here, off
        // the main thread, would be worse than leaving it to the ending process.
        (void)window_.release();
    }
}

bool TPreviewer::ShowFrame(TBitmap& bitmap, int frameNumber, std::int64_t timeStamp) {
    if (closed_)
        return false;
    graphic_ = &bitmap;
    frameNumber_ = frameNumber;
    timeStamp_ = timeStamp;
    if (!RunOnMainThread([this] { DisplayStep(); }))
        return false;
    return !closed_;
}

void TPreviewer::DisplayStep() {
    if (closed_)
        return;
    try {
        if (!window_) {
            TCanvasLock canvas(*graphic_);
            if (factory_)
                window_ =
                    factory_(graphic_->Width(), graphic_->Height(), [this] { closed_ = true; });
            if (!window_) {
                // Nowhere to show frames: end this task's preview instead of trying every frame.
                closed_ = true;
                return;
            }
            windowCreated_ = true;
        }
        window_->SetCaption(PreviewTimeText(timeStamp_));
        TCanvasLock canvas(*graphic_);
        window_->Draw(*graphic_);
    } catch (...) {
        // A window that fails ends the preview; the conversion itself goes on.
        closed_ = true;
    }
}

std::string TPreviewer::PreviewTimeText(std::int64_t t) {
    if (t == AV_NOPTS_VALUE)
        return "N/A";
    // Hours are printed as 64-bit so that very large stamps do not overflow.
    return StringPrintf("%.2lld:%.2d:%.2d.%.3d", static_cast<long long>(t / 3600000000LL),
                        static_cast<int>((t / 60000000LL) % 60),
                        static_cast<int>((t / 1000000LL) % 60),
                        static_cast<int>((t % 1000000LL) / 1000));
}

} // namespace velto
