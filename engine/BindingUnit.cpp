#include "BindingUnit.h"

#include "MyUtils.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <stdexcept>

namespace velto {

SymbolLookup& EntryPointLookup() {
    static SymbolLookup lookup = [](void* handle, const char* name) { return dlsym(handle, name); };
    return lookup;
}

namespace {

std::string LastSystemError() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}

// The error of a failed lookup; only this kind is caught inside a unit.
struct EntryPointMissing : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Format(const char* pattern, const std::string& a, const std::string& b) {
    return StringPrintf(pattern, a.c_str(), b.c_str());
}

} // namespace

BindingUnit::BindingUnit(const char* versionedName, int major, const char* plainName)
    : versionedName_(versionedName), major_(major), plainName_(plainName) {}

std::string BindingUnit::FileName(bool versioned) const {
    if (versioned && versionedName_)
        return StringPrintf(versionedName_, major_);
    return plainName_;
}

bool BindingUnit::Load(std::string& error, const std::string& folder, bool versioned,
                       std::span<const EntryPoint> table) {
    versioned_ = versioned;
    bool result = false;
    const std::string fileName = FileName(versioned_);
    if (!handle_) {
        dlerror();
        handle_ = LoadLibraryFromFolder(folder, fileName);
        if (!handle_) {
            error_ = Format("Load libraray %s error: %s", fileName, LastSystemError());
            error = error_;
            return false;
        }
    }
    if (bound_)
        return true;
    try {
        for (const EntryPoint& entry : table) {
            dlerror();
            void* address = EntryPointLookup()(handle_, entry.name);
            if (!address) {
                throw EntryPointMissing(StringPrintf("Load function %s@%s error: %s", entry.name,
                                                     fileName.c_str(), LastSystemError().c_str()));
            }
            std::memcpy(entry.slot, &address, sizeof address);
        }
        bound_ = true;
        result = true;
    } catch (const EntryPointMissing& e) {
        error_ = e.what();
    }
    if (!result)
        error = error_;
    return result;
}

void BindingUnit::Unload(std::span<const EntryPoint> table) {
    if (handle_)
        dlclose(handle_);
    handle_ = nullptr;
    bound_ = false;
    // Forget every address so that a stale pointer can never be called after unloading.
    void* none = nullptr;
    for (const EntryPoint& entry : table)
        std::memcpy(entry.slot, &none, sizeof none);
}

} // namespace velto
