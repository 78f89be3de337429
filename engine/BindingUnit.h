// Generic state and load routine shared by the binding units: one dynamic library, one table of
// entry points filled in order. Loaded and unloaded on the main thread before any task runs.
#pragma once

#include <functional>
#include <span>
#include <string>

namespace velto {

// One row of a unit's table: the exported name and the function variable it fills.
struct EntryPoint {
    const char* name;
    void* slot; // address of the typed function pointer variable
};

// Looks a name up in a loaded library; tests replace it to watch the lookups.
using SymbolLookup = std::function<void*(void* handle, const char* name)>;
SymbolLookup& EntryPointLookup();

class BindingUnit {
public:
    // fileNamePattern holds one %d for the major version, or none for a fixed name.
    BindingUnit(const char* versionedName, int major, const char* plainName);

    std::string FileName(bool versioned) const;
    bool Load(std::string& error, const std::string& folder, bool versioned,
              std::span<const EntryPoint> table);
    void Unload(std::span<const EntryPoint> table);
    bool Loaded() const { return bound_; }
    void* Handle() const { return handle_; }

private:
    const char* versionedName_;
    int major_;
    const char* plainName_;
    void* handle_ = nullptr;
    bool bound_ = false;
    bool versioned_ = false;
    std::string error_;
};

} // namespace velto

#define VELTO_DECLARE_ENTRY_POINT(name) extern decltype(&::name) name;
#define VELTO_DEFINE_ENTRY_POINT(name) decltype(&::name) name = nullptr;
#define VELTO_ENTRY_POINT_ROW(name) ::velto::EntryPoint{#name, reinterpret_cast<void*>(&name)},

// Declares the public face of one binding unit; the .cpp defines it with VELTO_DEFINE_BINDING_UNIT.
#define VELTO_DECLARE_BINDING_UNIT(LIST)                                                           \
    LIST(VELTO_DECLARE_ENTRY_POINT)                                                                \
    bool Load(std::string& error, const std::string& folder, bool versioned,                       \
              bool registerAll = true);                                                            \
    void Unload();                                                                                 \
    bool Loaded();                                                                                 \
    std::string FileName(bool versioned);                                                          \
    std::span<const ::velto::EntryPoint> EntryPoints();

// The libraries of this generation need no register-all call, so the flag is accepted and unused.
#define VELTO_DEFINE_BINDING_UNIT(LIST, VERSIONED, MAJOR, PLAIN)                                   \
    LIST(VELTO_DEFINE_ENTRY_POINT)                                                                 \
    namespace {                                                                                    \
    const ::velto::EntryPoint kEntryPoints[] = {LIST(VELTO_ENTRY_POINT_ROW)};                      \
    ::velto::BindingUnit& Unit() {                                                                 \
        static ::velto::BindingUnit unit(VERSIONED, MAJOR, PLAIN);                                 \
        return unit;                                                                               \
    }                                                                                              \
    }                                                                                              \
    bool Load(std::string& error, const std::string& folder, bool versioned, bool) {               \
        return Unit().Load(error, folder, versioned, kEntryPoints);                                \
    }                                                                                              \
    void Unload() {                                                                                \
        Unit().Unload(kEntryPoints);                                                               \
    }                                                                                              \
    bool Loaded() {                                                                                \
        return Unit().Loaded();                                                                    \
    }                                                                                              \
    std::string FileName(bool versioned) {                                                         \
        return Unit().FileName(versioned);                                                         \
    }                                                                                              \
    std::span<const ::velto::EntryPoint> EntryPoints() {                                           \
        return kEntryPoints;                                                                       \
    }
