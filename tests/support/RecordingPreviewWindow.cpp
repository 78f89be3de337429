#include "RecordingPreviewWindow.h"

#include "TBitmap.h"

#include <algorithm>

namespace velto::test {

size_t PreviewWindowRecord::Calls() const {
    std::lock_guard guard(mutex);
    return threads.size();
}

bool PreviewWindowRecord::AllOn(std::thread::id thread) const {
    std::lock_guard guard(mutex);
    return std::all_of(threads.begin(), threads.end(),
                       [thread](std::thread::id id) { return id == thread; });
}

namespace {

class RecordingPreviewWindow : public IPreviewWindow {
public:
    explicit RecordingPreviewWindow(std::shared_ptr<PreviewWindowRecord> record)
        : record_(std::move(record)) {}

    ~RecordingPreviewWindow() override {
        std::lock_guard guard(record_->mutex);
        ++record_->destroyed;
        record_->threads.push_back(std::this_thread::get_id());
    }

    void SetCaption(const std::string& caption) override {
        std::lock_guard guard(record_->mutex);
        record_->captions.push_back(caption);
        record_->threads.push_back(std::this_thread::get_id());
    }

    void Draw(const TBitmap& bitmap) override {
        std::lock_guard guard(record_->mutex);
        ++record_->draws;
        record_->lastTopRow.assign(bitmap.ScanLine(0), bitmap.ScanLine(0) + bitmap.Width() * 3);
        record_->threads.push_back(std::this_thread::get_id());
    }

private:
    std::shared_ptr<PreviewWindowRecord> record_;
};

} // namespace

TPreviewWindowFactory RecordingWindowFactory(std::shared_ptr<PreviewWindowRecord> record) {
    return [record](int width, int height,
                    std::function<void()> onClose) -> std::unique_ptr<IPreviewWindow> {
        {
            std::lock_guard guard(record->mutex);
            ++record->created;
            record->width = width;
            record->height = height;
            record->close = std::move(onClose);
            record->threads.push_back(std::this_thread::get_id());
        }
        return std::make_unique<RecordingPreviewWindow>(record);
    };
}

} // namespace velto::test
