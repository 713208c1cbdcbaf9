#include "framework/ClassRegistry.h"

#include <algorithm>
#include <mutex>
#include <string>

namespace {

struct TClassList {
    std::mutex Lock;
    std::vector<const TClassInfo*> Classes;
};

TClassList& Registry() {
    static TClassList registry;
    return registry;
}

}  // namespace

void RegisterClass(const TClassInfo& classInfo) {
    auto& registry = Registry();
    const std::lock_guard guard(registry.Lock);
    if (std::find(registry.Classes.begin(), registry.Classes.end(), &classInfo) ==
        registry.Classes.end()) {
        registry.Classes.push_back(&classInfo);
    }
}

void RegisterClasses(std::initializer_list<const TClassInfo*> classes) {
    for (const TClassInfo* c : classes) RegisterClass(*c);
}

void UnRegisterClass(const TClassInfo& classInfo) {
    auto& registry = Registry();
    const std::lock_guard guard(registry.Lock);
    std::erase(registry.Classes, &classInfo);
}

const TClassInfo* GetClass(std::string_view name) {
    auto& registry = Registry();
    const std::lock_guard guard(registry.Lock);
    const auto found = std::find_if(registry.Classes.rbegin(), registry.Classes.rend(),
                                    [&](const TClassInfo* c) { return SameText(c->Name, name); });
    return found == registry.Classes.rend() ? nullptr : *found;
}

const TClassInfo& FindClass(std::string_view name) {
    const TClassInfo* found = GetClass(name);
    if (found == nullptr) throw EClassNotFound("Class " + std::string(name) + " not found");
    return *found;
}

std::vector<const TClassInfo*> RegisteredClasses() {
    auto& registry = Registry();
    const std::lock_guard guard(registry.Lock);
    return registry.Classes;
}
