// Run-time type information: what a class is called, where it descends from,
// how to create it, its published properties and its published methods.
// Form streaming and the designer work from these tables alone.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "framework/Classes.h"
#include "framework/Events.h"
#include "framework/Sets.h"

enum class TTypeKind { tkInteger, tkEnumeration, tkSet, tkString, tkMethod };

// One published property. Ordinal kinds (integer, enumeration, set) are read
// and written as an int64 (a set as its bits); strings as std::string; events
// through their binding (object and published method name).
struct TPropInfo {
    std::string Name;
    TTypeKind Kind = TTypeKind::tkInteger;
    // The identifiers of an enumeration, or of a set's element type, by ordinal.
    std::vector<std::string> EnumNames;
    // Stored properties are written to a form when they differ from the default.
    bool Stored = true;
    std::optional<std::int64_t> OrdDefault;
    std::optional<std::string> StrDefault;
    // The values an integer property's type can hold; a form outside them is bad.
    std::int64_t MinValue = std::numeric_limits<std::int64_t>::min();
    std::int64_t MaxValue = std::numeric_limits<std::int64_t>::max();

    std::function<std::int64_t(const TObject&)> GetOrd;
    std::function<void(TObject&, std::int64_t)> SetOrd;
    std::function<std::string(const TObject&)> GetStr;
    std::function<void(TObject&, const std::string&)> SetStr;
    // An event: the object it is bound to and the published method name.
    std::function<std::pair<TObject*, std::string>(const TObject&)> GetMethod;
    // Assigns a bound method made by TPublishedMethod::Bind, or a handler
    // GetHandler gave; false when its signature does not fit the event.
    std::function<bool(TObject&, const std::any&)> SetMethod;
    // The event's handler as it is, whatever it is bound to, for SetMethod.
    std::function<std::any(const TObject&)> GetHandler;
    // The TMethodPtr type of an event.
    const std::type_info* HandlerType = nullptr;

    bool IsReadOnly() const { return !SetOrd && !SetStr && !SetMethod; }
};

// A method that a class publishes, so that an event can be bound to it by name.
struct TPublishedMethod {
    std::string Name;
    // A TMethodPtr of the method's own signature, bound to object and named.
    std::function<std::any(TObject& object)> Bind;
    // The type Bind returns.
    const std::type_info* HandlerType = nullptr;

    // Whether an event property can be bound to this method.
    bool Fits(const TPropInfo& event) const {
        return HandlerType != nullptr && event.HandlerType != nullptr &&
               *HandlerType == *event.HandlerType;
    }
};

struct TClassInfo {
    std::string_view Name;
    const TClassInfo* Parent = nullptr;
    // Creates an instance with its owner; null for a class that cannot be created by name.
    TComponent* (*Create)(TComponent* owner) = nullptr;
    std::vector<TPropInfo> Properties;
    std::vector<TPublishedMethod> Methods;

    bool InheritsFrom(const TClassInfo& ancestor) const {
        for (const TClassInfo* c = this; c != nullptr; c = c->Parent) {
            if (c == &ancestor) return true;
        }
        return false;
    }

    // Looked up along the ancestry, the class's own first; null when absent.
    const TPropInfo* FindProperty(std::string_view name) const;
    const TPublishedMethod* FindMethod(std::string_view name) const;
    // Every published property, the ancestors' first, in declaration order.
    std::vector<const TPropInfo*> AllProperties() const;
};

// Builders for the property tables of component classes. Getters and setters
// are the class's own member functions.
namespace typinfo {

template <class C, class T>
TPropInfo IntegerProperty(std::string name, T (C::*get)() const, void (C::*set)(T),
                          std::optional<std::int64_t> defaultValue, bool stored = true) {
    return TPropInfo{
        .Name = std::move(name),
        .Kind = TTypeKind::tkInteger,
        .Stored = stored,
        .OrdDefault = defaultValue,
        .MinValue = static_cast<std::int64_t>(std::numeric_limits<T>::min()),
        .MaxValue = static_cast<std::int64_t>(std::numeric_limits<T>::max()),
        .GetOrd =
            [get](const TObject& o) {
                return static_cast<std::int64_t>((static_cast<const C&>(o).*get)());
            },
        .SetOrd = [set](TObject& o,
                        std::int64_t v) { (static_cast<C&>(o).*set)(static_cast<T>(v)); },
    };
}

template <class C, class T>
TPropInfo ReadOnlyIntegerProperty(std::string name, T (C::*get)() const) {
    return TPropInfo{
        .Name = std::move(name),
        .Kind = TTypeKind::tkInteger,
        .Stored = false,
        .GetOrd =
            [get](const TObject& o) {
                return static_cast<std::int64_t>((static_cast<const C&>(o).*get)());
            },
    };
}

template <class C, class E>
requires std::is_enum_v<E> TPropInfo EnumProperty(std::string name, std::vector<std::string> names,
                                                  E (C::*get)() const, void (C::*set)(E),
                                                  E defaultValue) {
    return TPropInfo{
        .Name = std::move(name),
        .Kind = TTypeKind::tkEnumeration,
        .EnumNames = std::move(names),
        .OrdDefault = static_cast<std::int64_t>(defaultValue),
        .GetOrd =
            [get](const TObject& o) {
                return static_cast<std::int64_t>((static_cast<const C&>(o).*get)());
            },
        .SetOrd = [set](TObject& o,
                        std::int64_t v) { (static_cast<C&>(o).*set)(static_cast<E>(v)); },
    };
}

// A set property that is never stored with a form (a computed property).
template <class C, class E>
TPropInfo UnstoredSetProperty(std::string name, std::vector<std::string> elementNames,
                              TSet<E> (C::*get)() const, void (C::*set)(TSet<E>)) {
    return TPropInfo{
        .Name = std::move(name),
        .Kind = TTypeKind::tkSet,
        .EnumNames = std::move(elementNames),
        .Stored = false,
        .GetOrd =
            [get](const TObject& o) {
                return static_cast<std::int64_t>((static_cast<const C&>(o).*get)().Bits());
            },
        .SetOrd =
            [set](TObject& o, std::int64_t v) {
                (static_cast<C&>(o).*set)(TSet<E>::FromBits(static_cast<std::uint8_t>(v)));
            },
    };
}

template <class C>
TPropInfo StringProperty(std::string name, const std::string& (C::*get)() const,
                         void (C::*set)(const std::string&), std::string defaultValue = {}) {
    return TPropInfo{
        .Name = std::move(name),
        .Kind = TTypeKind::tkString,
        .StrDefault = std::move(defaultValue),
        .GetStr = [get](const TObject& o) { return (static_cast<const C&>(o).*get)(); },
        .SetStr = [set](TObject& o, const std::string& v) { (static_cast<C&>(o).*set)(v); },
    };
}

// An event published as a public field of type TMethodPtr<Sig>.
template <class C, class Sig>
TPropInfo EventProperty(std::string name, TMethodPtr<Sig> C::*field) {
    return TPropInfo{
        .Name = std::move(name),
        .Kind = TTypeKind::tkMethod,
        .GetMethod =
            [field](const TObject& o) {
                const TMethodPtr<Sig>& handler = static_cast<const C&>(o).*field;
                return std::pair{handler.Data(), handler.MethodName()};
            },
        .SetMethod =
            [field](TObject& o, const std::any& bound) {
                const auto* handler = std::any_cast<TMethodPtr<Sig>>(&bound);
                if (handler == nullptr) return false;
                static_cast<C&>(o).*field = *handler;
                return true;
            },
        .GetHandler = [field](const TObject& o) -> std::any {
            return static_cast<const C&>(o).*field;
        },
        .HandlerType = &typeid(TMethodPtr<Sig>),
    };
}

// Publishes a member function of C under a name.
template <class C, class... Args>
TPublishedMethod PublishedMethod(std::string name, void (C::*method)(Args...)) {
    return TPublishedMethod{
        .Name = name,
        .Bind = [method, name](TObject& o) -> std::any {
            return TMethodPtr<void(Args...)>(&static_cast<C&>(o), method, name);
        },
        .HandlerType = &typeid(TMethodPtr<void(Args...)>),
    };
}

}  // namespace typinfo
