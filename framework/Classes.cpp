#include "framework/Classes.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "framework/TypInfo.h"

bool IsValidIdent(std::string_view name) {
    const auto isStart = [](unsigned char c) { return std::isalpha(c) || c == '_'; };
    const auto isPart = [](unsigned char c) { return std::isalnum(c) || c == '_'; };
    return !name.empty() && isStart(name.front()) && std::all_of(name.begin(), name.end(), isPart);
}

namespace {

// Two names are the same when their keys are equal.
std::string NameKey(std::string_view name) {
    std::string key(name);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

}  // namespace

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

const TClassInfo& TObject::StaticClass() {
    static const TClassInfo info{.Name = "TObject"};
    return info;
}

std::string_view TObject::ClassName() const {
    return ClassType().Name;
}

bool TObject::InheritsFrom(const TClassInfo& ancestor) const {
    return ClassType().InheritsFrom(ancestor);
}

const TClassInfo& TComponent::StaticClass() {
    static const TClassInfo info{
        .Name = "TComponent",
        .Parent = &TObject::StaticClass(),
        .Create = [](TComponent* owner) -> TComponent* { return new TComponent(owner); }};
    return info;
}

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    if (FOwner != nullptr) FOwner->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
    // A component may destroy siblings while it is destroyed, so the list is
    // read afresh on every round.
    while (!FComponents.empty()) {
        TComponent* last = FComponents.back();
        FComponents.pop_back();
        Forget(last);
        last->FOwner = nullptr;
        delete last;
    }
}

void TComponent::SetName(const std::string& name) {
    if (name == FName) return;
    if (!name.empty() && !IsValidIdent(name)) {
        throw EComponentError("'" + name + "' is not a valid component name");
    }
    if (!name.empty() && FOwner != nullptr) {
        const TComponent* other = FOwner->FindComponent(name);
        if (other != nullptr && other != this) {
            throw EComponentError("A component named " + name + " already exists");
        }
    }
    if (FOwner != nullptr) {
        FOwner->Forget(this);
        if (!name.empty()) FOwner->FNamed.emplace(NameKey(name), this);
    }
    FName = name;
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount()) {
        throw EComponentError("Component index out of bounds (" + std::to_string(index) + ")");
    }
    return FComponents[static_cast<std::size_t>(index)];
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    const auto found = FNamed.find(NameKey(name));
    return found == FNamed.end() ? nullptr : found->second;
}

void TComponent::InsertComponent(TComponent* component) {
    if (component == nullptr || component->FOwner == this) return;
    if (!component->FName.empty() && FindComponent(component->FName) != nullptr) {
        throw EComponentError("A component named " + component->FName + " already exists");
    }
    if (component->FOwner != nullptr) component->FOwner->RemoveComponent(component);
    FComponents.push_back(component);
    if (!component->FName.empty()) FNamed.emplace(NameKey(component->FName), component);
    component->FOwner = this;
}

void TComponent::RemoveComponent(TComponent* component) {
    // The component removed is most often the last one added.
    const auto found = std::find(FComponents.rbegin(), FComponents.rend(), component);
    if (found == FComponents.rend()) return;
    FComponents.erase(std::next(found).base());
    Forget(component);
    component->FOwner = nullptr;
}

void TComponent::Forget(const TComponent* component) {
    if (component->FName.empty()) return;
    const auto found = FNamed.find(NameKey(component->FName));
    if (found != FNamed.end() && found->second == component) FNamed.erase(found);
}
