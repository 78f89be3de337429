// The window a previewer shows its frames in. The desktop program installs a factory for its
// own window class; without one, previews have nowhere to go and end at once. Windows are created,
// used and destroyed on the main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace velto {

class TBitmap;

class IPreviewWindow {
public:
    // Closes and frees the window.
    virtual ~IPreviewWindow() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    // Draws bitmap at the top-left corner of the client area.
    virtual void Draw(const TBitmap& bitmap) = 0;
};

// Creates and shows a stay-on-top tool window with a client area of width x height, movable by
// dragging inside it. The window calls onClose on the main thread when the user closes it.
using TPreviewWindowFactory = std::function<std::unique_ptr<IPreviewWindow>(
    int width, int height, std::function<void()> onClose)>;

void SetPreviewWindowFactory(TPreviewWindowFactory factory);
TPreviewWindowFactory PreviewWindowFactory();

} // namespace velto
