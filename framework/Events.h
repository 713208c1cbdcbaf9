// Method pointers: "a function bound to an object", the type of every event.
//
// A TMethodPtr is assigned from an object and one of its member functions, or
// from any callable (a lambda). It remembers the object it is bound to and,
// when bound through a published method, that method's name, so that form
// streaming can write the handler by name.
//
// A handler may assign any event while it runs, its own included, and may
// destroy the object that holds the event: the callable it runs in is shared,
// and the call keeps it alive until it returns.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

class TObject;

template <class Signature>
class TMethodPtr;

template <class... Args>
class TMethodPtr<void(Args...)> {
  public:
    TMethodPtr() = default;
    TMethodPtr(std::nullptr_t) {}

    template <class C>
    TMethodPtr(C* object, void (C::*method)(Args...), std::string methodName = {})
        : call_(std::make_shared<const Callable>(
              [object, method](Args... args) { (object->*method)(std::forward<Args>(args)...); })),
          data_(boundObject(object)),
          methodName_(std::move(methodName)) {}

    template <class F>
    requires(!std::is_same_v<std::decay_t<F>, TMethodPtr> &&
             std::is_invocable_r_v<void, F&, Args...>) TMethodPtr(F&& function)
        : call_(std::make_shared<const Callable>(std::forward<F>(function))) {}

    bool Assigned() const { return call_ != nullptr && static_cast<bool>(*call_); }
    explicit operator bool() const { return Assigned(); }

    // The object the handler is bound to; null for a free callable.
    TObject* Data() const { return data_; }
    // The published method name it was bound through; empty otherwise.
    const std::string& MethodName() const { return methodName_; }

    void operator()(Args... args) const {
        const std::shared_ptr<const Callable> running = call_;
        (*running)(std::forward<Args>(args)...);
    }

  private:
    template <class C>
    static TObject* boundObject(C* object) {
        if constexpr (std::is_base_of_v<TObject, C>) {
            return object;
        } else {
            return nullptr;
        }
    }

    using Callable = std::function<void(Args...)>;

    std::shared_ptr<const Callable> call_;
    TObject* data_ = nullptr;
    std::string methodName_;
};

using TNotifyEvent = TMethodPtr<void(TObject* Sender)>;
