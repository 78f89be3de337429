// A 24-bit picture held in memory: rows of blue, green, red bytes, each row padded to four bytes.
// It carries a canvas lock; whoever draws on it or reads it from another thread holds the lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace velto {

enum TPixelFormat { pf24bit };

class TBitmap {
public:
    TBitmap() = default;
    TBitmap(int width, int height) { SetSize(width, height); }
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    // Resizes the bitmap; all pixels become black. Negative sizes count as 0.
    void SetSize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    TPixelFormat PixelFormat() const { return pf24bit; }
    // Bytes from one row to the next (at least 3 x width).
    int BytesPerLine() const { return bytesPerLine_; }

    // First byte of row y, top row 0. Throws std::out_of_range outside 0 .. Height() - 1.
    std::uint8_t* ScanLine(int y);
    const std::uint8_t* ScanLine(int y) const;

    // Not re-entrant: a handler called with the canvas held draws without locking it again.
    // Locking it again on the holding thread throws std::logic_error instead of hanging.
    void Lock();
    void Unlock();
    bool TryLock();

private:
    int width_ = 0;
    int height_ = 0;
    int bytesPerLine_ = 0;
    std::vector<std::uint8_t> pixels_;
    std::mutex canvasLock_;
    std::atomic<std::thread::id> holder_{};
};

// Holds a bitmap's canvas lock for one scope.
class TCanvasLock {
public:
    explicit TCanvasLock(TBitmap& bitmap) : bitmap_(bitmap) { bitmap_.Lock(); }
    ~TCanvasLock() { bitmap_.Unlock(); }
    TCanvasLock(const TCanvasLock&) = delete;
    TCanvasLock& operator=(const TCanvasLock&) = delete;

private:
    TBitmap& bitmap_;
};

} // namespace velto
