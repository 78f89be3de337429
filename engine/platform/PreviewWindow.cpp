#include "PreviewWindow.h"

#include <mutex>

namespace velto {

namespace {

std::mutex& FactoryLock() {
    static std::mutex lock;
    return lock;
}

TPreviewWindowFactory& Factory() {
    static TPreviewWindowFactory factory;
    return factory;
}

} // namespace

void SetPreviewWindowFactory(TPreviewWindowFactory factory) {
    std::lock_guard guard(FactoryLock());
    Factory() = std::move(factory);
}

TPreviewWindowFactory PreviewWindowFactory() {
    std::lock_guard guard(FactoryLock());
    return Factory();
}

} // namespace velto
