#include "LoadedModules.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>
// psapi.h needs the types of windows.h.
#include <psapi.h>
#else
#include <link.h>
#endif

bool ModuleLoaded(const std::string& nameContains) {
#ifdef _WIN32
    HMODULE modules[1024];
    DWORD bytes = 0;
    EnumProcessModules(GetCurrentProcess(), modules, sizeof modules, &bytes);
    for (DWORD i = 0; i < bytes / sizeof(HMODULE); ++i) {
        char name[MAX_PATH] = {};
        GetModuleFileNameA(modules[i], name, MAX_PATH);
        if (std::string(name).find(nameContains) != std::string::npos) return true;
    }
    return false;
#else
    bool found = false;
    std::pair<const std::string*, bool*> search{&nameContains, &found};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* search = static_cast<std::pair<const std::string*, bool*>*>(data);
            if (info->dlpi_name != nullptr &&
                std::string(info->dlpi_name).find(*search->first) != std::string::npos) {
                *search->second = true;
            }
            return 0;
        },
        &search);
    return found;
#endif
}
