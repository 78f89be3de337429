#include "TBitmap.h"

#include <algorithm>
#include <stdexcept>

namespace velto {

void TBitmap::SetSize(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    bytesPerLine_ = (width_ * 3 + 3) & ~3;
    pixels_.assign(static_cast<size_t>(bytesPerLine_) * static_cast<size_t>(height_), 0);
}

std::uint8_t* TBitmap::ScanLine(int y) {
    if (y < 0 || y >= height_)
        throw std::out_of_range("Scan line index out of range");
    return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(bytesPerLine_);
}

const std::uint8_t* TBitmap::ScanLine(int y) const {
    return const_cast<TBitmap*>(this)->ScanLine(y);
}

void TBitmap::Lock() {
    if (holder_.load() == std::this_thread::get_id())
        throw std::logic_error("The picture's canvas is already held by this thread");
    canvasLock_.lock();
    holder_.store(std::this_thread::get_id());
}

void TBitmap::Unlock() {
    holder_.store(std::thread::id());
    canvasLock_.unlock();
}

bool TBitmap::TryLock() {
    if (holder_.load() == std::this_thread::get_id() || !canvasLock_.try_lock())
        return false;
    holder_.store(std::this_thread::get_id());
    return true;
}

} // namespace velto
