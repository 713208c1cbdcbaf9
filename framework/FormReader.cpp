// Reading a form: the parsed tree is checked as a whole against the class
// registry, the property tables and the root's published methods; only then
// are components created and properties set, in file order.
#include <algorithm>
#include <any>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_set>

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

std::string LowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string AlreadyExists(std::string_view name) {
    return "A component named " + FormTextForMessage(name) + " already exists";
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
        // Names compare ignoring case; a set keeps a form with many components linear.
        std::unordered_set<std::string> names;
        for (const TFormObject& child : object.Children) {
            const TClassInfo& childClass = CreatableClass(child);
            if (!child.Name.empty()) {
                const bool taken =
                    !names.insert(LowerCase(child.Name)).second ||
                    (existing != nullptr && existing->FindComponent(child.Name) != nullptr);
                if (taken) throw EReadError(child.Line, AlreadyExists(child.Name));
            }
            CheckObject(child, childClass, nullptr);
        }
    }

    static const TClassInfo& CreatableClass(const TFormObject& object) {
        const TClassInfo* found = GetClass(object.ClassName);
        const std::string where = "Class " + FormTextForMessage(object.ClassName);
        if (found == nullptr) throw EReadError(object.Line, where + " not found");
        if (found->Create == nullptr) throw EReadError(object.Line, where + " cannot be created");
        return *found;
    }

  private:
    void CheckProperty(const TFormProperty& property, const TClassInfo& objectClass) const {
        const auto fail = [&](const std::string& message) {
            throw EReadError(property.Line, message);
        };
        const TPropInfo* prop = objectClass.FindProperty(property.Name);
        const std::string where = "Property " + FormTextForMessage(property.Name) + " of " +
                                  std::string(objectClass.Name);
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
            fail(where + " has no value " + FormTextForMessage(value.Text));
        }
        if (prop->Kind == TTypeKind::tkSet) {
            for (const std::string& element : value.Elements) {
                if (EnumOrdinal(*prop, element) < 0) {
                    fail(where + " has no set element " + FormTextForMessage(element));
                }
            }
        }
        if (prop->Kind == TTypeKind::tkMethod) CheckHandler(property, *prop);
    }

    void CheckHandler(const TFormProperty& property, const TPropInfo& event) const {
        const std::string method = "Method " + FormTextForMessage(property.Value.Text);
        const TPublishedMethod* published = rootClass_.FindMethod(property.Value.Text);
        if (published == nullptr) {
            throw EReadError(property.Line,
                             method + " not found in " + std::string(rootClass_.Name));
        }
        if (!published->Fits(event)) {
            throw EReadError(property.Line, method + " does not fit event " + event.Name);
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
                    prop.SetMethod(component, method.Bind(root_));
                    break;
                }
            }
        }
    }

    // Creates the object's children under `component`, each with its own children.
    void CreateChildren(const TFormObject& object, TComponent& component) const {
        for (const TFormObject& child : object.Children) {
            TComponent* created = TFormChecker::CreatableClass(child).Create(&component);
            NameCreated(*created, child);
            ApplyProperties(child, *created);
            CreateChildren(child, *created);
        }
    }

  private:
    // The check saw only the file: a component may have created owned
    // components of its own, whose names a child of it in the file can take.
    static void NameCreated(TComponent& created, const TFormObject& child) {
        try {
            created.SetName(child.Name);
        } catch (const EComponentError&) {
            throw EReadError(child.Line, AlreadyExists(child.Name));
        }
    }

    TComponent& root_;
};

// What a read may change in an existing root, taken before anything is
// applied, so that a setter or constructor that raises part way leaves the
// root as it was: its name, the values of the properties the file sets and
// its list of components.
class TRootSnapshot {
  public:
    TRootSnapshot(TComponent& root, const TFormObject& form)
        : root_(root), name_(root.Name()), componentCount_(root.ComponentCount()) {
        const TClassInfo& rootClass = root.ClassType();
        for (const TFormProperty& property : form.Properties) {
            const TPropInfo& prop = *rootClass.FindProperty(property.Name);
            TSavedValue saved{.Prop = &prop};
            switch (prop.Kind) {
                case TTypeKind::tkString:
                    saved.Text = prop.GetStr(root);
                    break;
                case TTypeKind::tkMethod:
                    saved.Handler = prop.GetHandler(root);
                    break;
                case TTypeKind::tkInteger:
                case TTypeKind::tkEnumeration:
                case TTypeKind::tkSet:
                    saved.Ordinal = prop.GetOrd(root);
                    break;
            }
            saved_.push_back(std::move(saved));
        }
    }

    // Destroys the components the read created, then puts back the values
    // in the reverse order of setting them, then the name. Each step is
    // tried even when an earlier one raises: the read's own error is the
    // one to report.
    void Restore() const noexcept {
        while (root_.ComponentCount() > componentCount_) {
            delete root_.Components(root_.ComponentCount() - 1);
        }
        for (auto saved = saved_.rbegin(); saved != saved_.rend(); ++saved) {
            try {
                saved->PutBack(root_);
            } catch (...) {
            }
        }
        try {
            root_.SetName(name_);
        } catch (...) {
        }
    }

  private:
    struct TSavedValue {
        const TPropInfo* Prop;
        std::int64_t Ordinal = 0;
        std::string Text;
        std::any Handler;

        void PutBack(TComponent& root) const {
            switch (Prop->Kind) {
                case TTypeKind::tkString:
                    Prop->SetStr(root, Text);
                    break;
                case TTypeKind::tkMethod:
                    Prop->SetMethod(root, Handler);
                    break;
                case TTypeKind::tkInteger:
                case TTypeKind::tkEnumeration:
                case TTypeKind::tkSet:
                    Prop->SetOrd(root, Ordinal);
                    break;
            }
        }
    };

    TComponent& root_;
    std::string name_;
    int componentCount_;
    std::vector<TSavedValue> saved_;
};

bool ClassOrAncestorNamed(const TClassInfo& classInfo, std::string_view name) {
    for (const TClassInfo* c = &classInfo; c != nullptr; c = c->Parent) {
        if (SameText(c->Name, name)) return true;
    }
    return false;
}

std::string ReadWholeFile(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw EFOpenError("Cannot read file " + path + ": it is a folder");
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) throw EFOpenError("Cannot open file " + path);
    std::string contents;
    std::array<char, 16384> chunk;
    while (file.read(chunk.data(), chunk.size()) || file.gcount() > 0) {
        contents.append(chunk.data(), static_cast<std::size_t>(file.gcount()));
        if (contents.size() > MaxFormFileSize) {
            throw EFOpenError("Cannot read file " + path + ": larger than the " +
                              std::to_string(MaxFormFileSize >> 20) + " MiB a form file may hold");
        }
    }
    if (file.bad()) throw EFOpenError("Cannot read file " + path);
    return contents;
}

}  // namespace

void ReadComponentText(std::string_view text, TComponent& root) {
    const TFormObject form = ParseForm(text);
    const TClassInfo& rootClass = root.ClassType();
    if (!ClassOrAncestorNamed(rootClass, form.ClassName)) {
        throw EReadError(form.Line, "The form is a " + FormTextForMessage(form.ClassName) +
                                        ", not a " + std::string(rootClass.Name));
    }
    if (!form.Name.empty() && root.Owner() != nullptr) {
        const TComponent* other = root.Owner()->FindComponent(form.Name);
        if (other != nullptr && other != &root) {
            throw EReadError(form.Line, AlreadyExists(form.Name));
        }
    }
    TFormChecker(rootClass).CheckObject(form, rootClass, &root);

    const TRootSnapshot before(root, form);
    try {
        if (!form.Name.empty()) root.SetName(form.Name);
        const TFormApplier applier(root);
        applier.ApplyProperties(form, root);
        applier.CreateChildren(form, root);
    } catch (...) {
        before.Restore();
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
