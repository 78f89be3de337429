#include "FrameHook.h"

#include "AVUtilHlpr.h"
#include "LibraryObjects.h"
#include "LogBridge.h"

#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <string>
#include <strings.h>
#include <vector>

namespace velto {

namespace {

struct PluginLibrary {
    std::string path;
    void* handle;
};

// Plug-in libraries stay loaded until the process ends: hooks of finished tasks may have left
// threads or atexit handlers behind in them, and unloading those would crash at exit.
struct PluginRegistry {
    std::mutex lock;
    std::vector<PluginLibrary> libraries;
};

PluginRegistry& Registry() {
    static auto* registry = new PluginRegistry; // never destroyed: outlives every task
    return *registry;
}

// Returns the handle of path, loading and registering it on first use; nullptr on failure, with
// the loader's text in error.
void* PluginHandle(const char* path, std::string& error) {
    PluginRegistry& registry = Registry();
    std::lock_guard guard(registry.lock);
    for (const PluginLibrary& library : registry.libraries)
        if (strcasecmp(library.path.c_str(), path) == 0)
            return library.handle;
    void* handle = dlopen(path, RTLD_NOW);
    if (!handle) {
        const char* text = dlerror();
        error = text ? text : "cannot load library";
        return nullptr;
    }
    registry.libraries.push_back({path, handle});
    return handle;
}

template <typename Function> Function PluginSymbol(void* handle, const char* name) {
    return reinterpret_cast<Function>(dlsym(handle, name));
}

// The plug-in may rewrite its argument strings (option parsers do), so it gets copies.
struct ArgumentCopy {
    explicit ArgumentCopy(int argc, const char* const argv[]) {
        strings.reserve(static_cast<size_t>(argc));
        for (int i = 0; i < argc; ++i)
            strings.emplace_back(argv[i] ? argv[i] : "");
        for (std::string& text : strings)
            pointers.push_back(text.data());
        pointers.push_back(nullptr);
    }
    std::vector<std::string> strings;
    std::vector<char*> pointers;
};

void FreeHook(TFrameHook* hook) {
    if (AVUtilHlpr::av_free)
        AVUtilHlpr::av_free(hook);
}

} // namespace

int AddFrameHook(TFrameHook** head, int argc, const char* const argv[]) {
    if (argc < 1 || !argv || !argv[0] || !head)
        return -2;
    if (argc > kMaxFrameHookArguments)
        return -7;

    const char* path = argv[0];
    std::string error;
    void* handle = PluginHandle(path, error);
    if (!handle) {
        EngineLog(0, "%s\n", error.c_str());
        return -1;
    }

    // Held by its owner until it joins the list, so that every refusal below frees it.
    std::unique_ptr<TFrameHook, LibraryMemoryFree> hook(
        AVUtilHlpr::av_mallocz
            ? static_cast<TFrameHook*>(AVUtilHlpr::av_mallocz(sizeof(TFrameHook)))
            : nullptr);
    if (!hook)
        return -12;

    hook->Configure = PluginSymbol<VeltoConfigureFunc>(handle, "Configure");
    hook->Process = PluginSymbol<VeltoProcessFunc>(handle, "Process");
    hook->Release = PluginSymbol<VeltoReleaseFunc>(handle, "Release");

    if (!hook->Process) {
        EngineLog(0, "Failed to find Process entrypoint in %s\n", path);
        return -2;
    }
    if (!hook->Configure && argc > 1) {
        EngineLog(0, "Failed to find Configure entrypoint in %s\n", path);
        return -2;
    }
    if (hook->Configure) {
        ArgumentCopy arguments(argc, argv);
        if (hook->Configure(&hook->context, argc, arguments.pointers.data(),
                            kMaxFrameHookArguments - 1) != 0) {
            EngineLog(0, "Failed to Configure %s\n", path);
            return -22;
        }
    }

    TFrameHook** tail = head;
    while (*tail)
        tail = &(*tail)->next;
    *tail = hook.release();
    return 0;
}

void RunFrameHooks(TFrameHook* first, VeltoPicture* picture, int pixelFormat, int width, int height,
                   std::int64_t pts) {
    for (TFrameHook* hook = first; hook; hook = hook->next)
        hook->Process(hook->context, picture, pixelFormat, width, height, pts);
}

void ReleaseFrameHooks(TFrameHook** head) {
    if (!head)
        return;
    TFrameHook* hook = *head;
    *head = nullptr;
    while (hook) {
        TFrameHook* next = hook->next;
        if (hook->Release)
            hook->Release(hook->context);
        FreeHook(hook);
        hook = next;
    }
}

std::size_t FrameHookLibraryCount() {
    PluginRegistry& registry = Registry();
    std::lock_guard guard(registry.lock);
    return registry.libraries.size();
}

} // namespace velto
