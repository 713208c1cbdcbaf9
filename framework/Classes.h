// TObject and TComponent: the base classes with owner-based lifetime.
//
// A component is created on the heap with its owner and destroyed either
// directly (it then leaves its owner's list) or by its owner, which destroys
// the components it owns, the last added first.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "framework/SysUtils.h"

struct TClassInfo;

class EComponentError : public Exception {
  public:
    using Exception::Exception;
};

class TObject {
  public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;

    static const TClassInfo& StaticClass();
    virtual const TClassInfo& ClassType() const { return StaticClass(); }
    std::string_view ClassName() const;
    bool InheritsFrom(const TClassInfo& ancestor) const;
};

class TComponent : public TObject {
  public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;

    static const TClassInfo& StaticClass();
    const TClassInfo& ClassType() const override { return StaticClass(); }

    TComponent* Owner() const { return FOwner; }

    const std::string& Name() const { return FName; }
    // A name is empty or an identifier, unique (ignoring case) among the
    // components of the same owner; anything else raises EComponentError.
    void SetName(const std::string& name);

    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    // Raises EComponentError for an index outside 0..ComponentCount()-1.
    TComponent* Components(int index) const;
    // The owned component with this name, ignoring case; null when there is none.
    TComponent* FindComponent(std::string_view name) const;

    // Moves a component under this owner (taking it from its previous one).
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

  private:
    void DestroyComponents();
    void Forget(const TComponent* component);

    TComponent* FOwner = nullptr;
    std::string FName;
    // Owning: the owner deletes these in its destructor.
    std::vector<TComponent*> FComponents;
    // The named ones among them by lower-case name: every naming looks a
    // name up, which stays cheap for an owner of thousands of components.
    std::unordered_map<std::string, TComponent*> FNamed;
};

bool IsValidIdent(std::string_view name);
bool SameText(std::string_view a, std::string_view b);
