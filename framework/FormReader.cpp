// Reading a form: the parsed tree is checked as a whole against the class
// registry, the property tables and the root's published methods; only then
// are components created and properties set, in file order.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "framework/ClassRegistry.h"
#include "framework/FormParser.h"
#include "framework/Streaming.h"
#include "framework/TypInfo.h"

namespace {

std::int64_t EnumOrdinal(const TPropInfo& prop, std::string_view identifier) {
    const auto found = std::find_if(prop.EnumNames.begin(), prop.EnumNames.end(),
                                    [&](const std::string& n) { return SameText(n, identifier); });
    return found == prop.EnumNames.end() ? -1 : found - prop.EnumNames.begin();
}

const char* KindName(TTypeKind kind) {
    switch (kind) {
        case TTypeKind::tkInteger:
            return "an integer";
        case TTypeKind::tkEnumeration:
            return "an enumeration identifier";
        case TTypeKind::tkSet:
            return "a set";
        case TTypeKind::tkString:
            return "a string";
        case TTypeKind::tkMethod:
            return "an event handler name";
    }
    return "a value";
}

bool ValueFitsKind(const TFormValue& value, TTypeKind kind) {
    switch (kind) {
        case TTypeKind::tkInteger:
            return value.Kind == TFormValueKind::Integer;
        case TTypeKind::tkString:
            return value.Kind == TFormValueKind::String;
        case TTypeKind::tkSet:
            return value.Kind == TFormValueKind::Set;
        case TTypeKind::tkEnumeration:
        case TTypeKind::tkMethod:
            return value.Kind == TFormValueKind::Identifier;
    }
    return false;
}

class TFormChecker {
  public:
    explicit TFormChecker(const TClassInfo& rootClass) : rootClass_(rootClass) {}

    // `existing` is the component the object's children will join, when it exists already.
    void CheckObject(const TFormObject& object, const TClassInfo& objectClass,
                     const TComponent* existing) {
        for (const TFormProperty& property : object.Properties) {
            CheckProperty(property, objectClass);
        }
        std::vector<std::string_view> names;
        for (const TFormObject& child : object.Children) {
            const TClassInfo& childClass = CreatableClass(child);
            if (!child.Name.empty()) {
                const bool taken =
                    std::any_of(names.begin(), names.end(),
                                [&](std::string_view n) { return SameText(n, child.Name); }) ||
                    (existing != nullptr && existing->FindComponent(child.Name) != nullptr);
                if (taken) {
                    throw EReadError(child.Line,
                                     "A component named " + child.Name + " already exists");
                }
                names.push_back(child.Name);
            }
            CheckObject(child, childClass, nullptr);
        }
    }

    static const TClassInfo& CreatableClass(const TFormObject& object) {
        const TClassInfo* found = GetClass(object.ClassName);
        if (found == nullptr)
            throw EReadError(object.Line, "Class " + object.ClassName + " not found");
        if (found->Create == nullptr) {
            throw EReadError(object.Line, "Class " + object.ClassName + " cannot be created");
        }
        return *found;
    }

  private:
    void CheckProperty(const TFormProperty& property, const TClassInfo& objectClass) const {
        const auto fail = [&](const std::string& message) {
            throw EReadError(property.Line, message);
        };
        const TPropInfo* prop = objectClass.FindProperty(property.Name);
        const std::string where =
            "Property " + property.Name + " of " + std::string(objectClass.Name);
        if (prop == nullptr) fail(where + " does not exist");
        if (prop->IsReadOnly()) fail(where + " is read-only");
        if (!prop->Stored) fail(where + " is not stored in forms");
        if (!ValueFitsKind(property.Value, prop->Kind)) {
            fail(where + " needs " + KindName(prop->Kind));
        }
        const TFormValue& value = property.Value;
        if (prop->Kind == TTypeKind::tkInteger &&
            (value.Integer < prop->MinValue || value.Integer > prop->MaxValue)) {
            fail(where + " cannot hold " + std::to_string(value.Integer));
        }
        if (prop->Kind == TTypeKind::tkEnumeration && EnumOrdinal(*prop, value.Text) < 0) {
            fail(where + " has no value " + value.Text);
        }
        if (prop->Kind == TTypeKind::tkSet) {
            for (const std::string& element : value.Elements) {
                if (EnumOrdinal(*prop, element) < 0) fail(where + " has no set element " + element);
            }
        }
        if (prop->Kind == TTypeKind::tkMethod && rootClass_.FindMethod(value.Text) == nullptr) {
            fail("Method " + value.Text + " not found in " + std::string(rootClass_.Name));
        }
    }

    const TClassInfo& rootClass_;
};

class TFormApplier {
  public:
    explicit TFormApplier(TComponent& root) : root_(root) {}

    void ApplyProperties(const TFormObject& object, TComponent& component) const {
        const TClassInfo& objectClass = component.ClassType();
        for (const TFormProperty& property : object.Properties) {
            const TPropInfo& prop = *objectClass.FindProperty(property.Name);
            const TFormValue& value = property.Value;
            switch (prop.Kind) {
                case TTypeKind::tkInteger:
                    prop.SetOrd(component, value.Integer);
                    break;
                case TTypeKind::tkEnumeration:
                    prop.SetOrd(component, EnumOrdinal(prop, value.Text));
                    break;
                case TTypeKind::tkSet: {
                    std::int64_t bits = 0;
                    for (const std::string& e : value.Elements)
                        bits |= std::int64_t{1} << EnumOrdinal(prop, e);
                    prop.SetOrd(component, bits);
                    break;
                }
                case TTypeKind::tkString:
                    prop.SetStr(component, value.Text);
                    break;
                case TTypeKind::tkMethod: {
                    const TPublishedMethod& method = *root_.ClassType().FindMethod(value.Text);
                    if (!prop.SetMethod(component, method.Bind(root_))) {
                        throw EReadError(property.Line, "Method " + value.Text +
                                                            " does not fit event " + property.Name);
                    }
                    break;
                }
            }
        }
    }

    // Creates the object's children under `component`, each with its own children.
    void CreateChildren(const TFormObject& object, TComponent& component) const {
        for (const TFormObject& child : object.Children) {
            TComponent* created = TFormChecker::CreatableClass(child).Create(&component);
            created->SetName(child.Name);
            ApplyProperties(child, *created);
            CreateChildren(child, *created);
        }
    }

  private:
    TComponent& root_;
};

bool ClassOrAncestorNamed(const TClassInfo& classInfo, std::string_view name) {
    for (const TClassInfo* c = &classInfo; c != nullptr; c = c->Parent) {
        if (SameText(c->Name, name)) return true;
    }
    return false;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw EFOpenError("Cannot open file " + path);
    std::ostringstream contents;
    contents << file.rdbuf();
    if (file.bad()) throw EFOpenError("Cannot read file " + path);
    return contents.str();
}

}  // namespace

void ReadComponentText(std::string_view text, TComponent& root) {
    const TFormObject form = ParseForm(text);
    const TClassInfo& rootClass = root.ClassType();
    if (!ClassOrAncestorNamed(rootClass, form.ClassName)) {
        throw EReadError(form.Line, "The form is a " + form.ClassName + ", not a " +
                                        std::string(rootClass.Name));
    }
    if (!form.Name.empty() && root.Owner() != nullptr) {
        const TComponent* other = root.Owner()->FindComponent(form.Name);
        if (other != nullptr && other != &root) {
            throw EReadError(form.Line, "A component named " + form.Name + " already exists");
        }
    }
    TFormChecker(rootClass).CheckObject(form, rootClass, &root);

    // Components created by this read are destroyed again if a setter fails.
    const int existingCount = root.ComponentCount();
    const std::string originalName = root.Name();
    try {
        if (!form.Name.empty()) root.SetName(form.Name);
        const TFormApplier applier(root);
        applier.ApplyProperties(form, root);
        applier.CreateChildren(form, root);
    } catch (...) {
        while (root.ComponentCount() > existingCount)
            delete root.Components(root.ComponentCount() - 1);
        root.SetName(originalName);
        throw;
    }
}

std::unique_ptr<TComponent> CreateComponentFromText(std::string_view text) {
    const TFormObject form = ParseForm(text);
    const TClassInfo& rootClass = TFormChecker::CreatableClass(form);
    TFormChecker(rootClass).CheckObject(form, rootClass, nullptr);

    std::unique_ptr<TComponent> root(rootClass.Create(nullptr));
    root->SetName(form.Name);
    const TFormApplier applier(*root);
    applier.ApplyProperties(form, *root);
    applier.CreateChildren(form, *root);
    return root;
}

void ReadComponentFile(const std::string& path, TComponent& root) {
    ReadComponentText(ReadWholeFile(path), root);
}

std::unique_ptr<TComponent> CreateComponentFromFile(const std::string& path) {
    return CreateComponentFromText(ReadWholeFile(path));
}
