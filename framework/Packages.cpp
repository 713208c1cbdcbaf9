#include "framework/Packages.h"

#include <tuple>

#include "framework/ClassRegistry.h"
#include "framework/DesignIntf.h"
#include "framework/Utf16.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#ifdef _WIN32
std::string LastSystemError() {
    return "system error " + std::to_string(GetLastError());
}
#else
std::string LastSystemError() {
    const char* error = dlerror();
    return error != nullptr ? error : "unknown error";
}
#endif

void* OpenModule(const std::string& path) {
#ifdef _WIN32
    return LoadLibraryA(path.c_str());
#else
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void CloseModule(void* handle) {
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

void* ModuleSymbol(void* handle, const char* name) {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

// The start of the module holding an address, and its file name.
std::pair<const void*, std::string> ModuleOfAddress(const void* address) {
#ifdef _WIN32
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(address), &module)) {
        return {nullptr, {}};
    }
    char name[MAX_PATH] = {};
    GetModuleFileNameA(module, name, MAX_PATH);
    return {module, name};
#else
    Dl_info info{};
    if (dladdr(address, &info) == 0) return {nullptr, {}};
    return {info.dli_fbase, info.dli_fname != nullptr ? info.dli_fname : ""};
#endif
}

bool ModuleStillLoaded(const std::string& fileName) {
#ifdef _WIN32
    return GetModuleHandleA(fileName.c_str()) != nullptr;
#else
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
#endif
}

template <class Proc>
Proc ProcedureAs(void* symbol) {
    return reinterpret_cast<Proc>(reinterpret_cast<std::uintptr_t>(symbol));
}

std::vector<std::string> Names(const char* const* names, std::size_t count) {
    return names == nullptr ? std::vector<std::string>{}
                            : std::vector<std::string>(names, names + count);
}

}  // namespace

TPackage::TPackage(const std::string& path) {
    handle_ = OpenModule(path);
    if (handle_ == nullptr)
        throw EPackageError("Cannot load package " + path + ": " + LastSystemError());
    void* infoTable = ModuleSymbol(handle_, "GetPackageInfoTable");
    if (infoTable == nullptr) {
        CloseModule(handle_);
        throw EPackageError(path + " is not a package: it has no GetPackageInfoTable");
    }
    std::tie(base_, fileName_) = ModuleOfAddress(infoTable);
}

TPackage::~TPackage() {
    // Palette entries and editors come from Register and go with the package.
    UnRegisterDesignItems([this](const void* item) { return Contains(item); });
    // Classes are left to the package's own unloading, since the system may
    // keep the module loaded; any it leaves behind must not outlive the module.
    std::vector<const TClassInfo*> ownClasses;
    for (const TClassInfo* c : RegisteredClasses()) {
        if (Contains(c)) ownClasses.push_back(c);
    }
    CloseModule(handle_);
    if (!ModuleStillLoaded(fileName_)) {
        for (const TClassInfo* c : ownClasses) UnRegisterClass(*c);
    }
}

TPackageInfo TPackage::Info() const {
    const auto proc = ProcedureAs<TGetPackageInfoTableProc>(Procedure("GetPackageInfoTable"));
    const TPackageInfoTable* table = proc();
    return {.Flags = table->Flags,
            .Requires = Names(table->Requires, table->RequiresCount),
            .Contains = Names(table->Contains, table->ContainsCount)};
}

std::optional<std::span<const std::byte>> TPackage::Resource(std::string_view type,
                                                             std::string_view name) const {
#ifdef _WIN32
    const auto module = static_cast<HMODULE>(handle_);
    HRSRC found = FindResourceA(module, std::string(name).c_str(), std::string(type).c_str());
    if (found == nullptr) return std::nullopt;
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) return std::nullopt;
    return std::span(static_cast<const std::byte*>(LockResource(loaded)),
                     SizeofResource(module, found));
#else
    const auto proc =
        ProcedureAs<TGetPackageResourceTableProc>(Procedure("GetPackageResourceTable"));
    if (proc == nullptr) return std::nullopt;
    const TResourceTable* table = proc();
    for (std::size_t i = 0; i < table->Count; ++i) {
        const TResourceEntry& entry = table->Entries[i];
        if (SameText(entry.Type, type) && SameText(entry.Name, name)) {
            return std::span(reinterpret_cast<const std::byte*>(entry.Data), entry.Size);
        }
    }
    return std::nullopt;
#endif
}

std::string TPackage::Description() const {
    const auto data = Resource(restype::RCData, "DESCRIPTION");
    return data ? Utf16BytesToUtf8(*data) : std::string();
}

TVersionInfo TPackage::Version() const {
    const auto data = Resource(restype::Version, "#1");
    if (!data) throw EPackageError(fileName_ + " has no version resource");
    try {
        return ParseVersionResource(*data);
    } catch (const EVersionInfoError& e) {
        throw EPackageError(fileName_ + ": " + e.Message());
    }
}

void* TPackage::Procedure(const char* name) const {
    return ModuleSymbol(handle_, name);
}

void TPackage::Register() const {
    const auto proc = ProcedureAs<TRegisterProc>(Procedure("Register"));
    if (proc == nullptr) throw EPackageError(fileName_ + " has no Register procedure");
    proc();
}

bool TPackage::Contains(const void* address) const {
    return base_ != nullptr && ModuleOfAddress(address).first == base_;
}
