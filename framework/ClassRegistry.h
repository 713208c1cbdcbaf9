// The registry of component classes that form files may name.
//
// A class is registered by name; the form reader creates components through
// it. When two modules register different classes under the same name, the
// one registered last is found until it is unregistered, so that a package
// carrying its own copy of a unit can be loaded and unloaded beside another.
#pragma once

#include <initializer_list>
#include <string_view>
#include <vector>

#include "framework/Streaming.h"
#include "framework/TypInfo.h"

class EClassNotFound : public EFilerError {
  public:
    using EFilerError::EFilerError;
};

// <windows.h> defines RegisterClass as a macro naming RegisterClassA or
// RegisterClassW. The framework's function keeps its own name whichever of the
// two headers comes first: it is declared with the macro set aside, and the
// names the macro produces forward to it for callers that include <windows.h>.
#pragma push_macro("RegisterClass")
#undef RegisterClass
// Registering a class that is already registered does nothing.
void RegisterClass(const TClassInfo& classInfo);
#ifdef _WIN32
inline void RegisterClassA(const TClassInfo& classInfo) {
    RegisterClass(classInfo);
}
inline void RegisterClassW(const TClassInfo& classInfo) {
    RegisterClass(classInfo);
}
#endif
#pragma pop_macro("RegisterClass")

void RegisterClasses(std::initializer_list<const TClassInfo*> classes);
// Removing a class that is not registered does nothing.
void UnRegisterClass(const TClassInfo& classInfo);

// The class registered under this name (ignoring case); null when there is none.
const TClassInfo* GetClass(std::string_view name);
// As GetClass, but raises EClassNotFound when there is no such class.
const TClassInfo& FindClass(std::string_view name);
// Every registered class, the first registered first.
std::vector<const TClassInfo*> RegisteredClasses();
