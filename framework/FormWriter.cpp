#include <fstream>
#include <optional>

#include "framework/Streaming.h"
#include "framework/TypInfo.h"

// Printable characters go between quotes (a quote doubled), control
// characters as #n codes: 'one'#13#10'two'.
std::string FormStringLiteral(std::string_view value) {
    if (value.empty()) return "''";
    std::string quoted;
    bool inQuotes = false;
    for (const char c : value) {
        const auto code = static_cast<unsigned char>(c);
        const bool control = code < 32 || code == 127;
        if (control == inQuotes) {
            quoted += '\'';
            inQuotes = !inQuotes;
        }
        if (control) {
            quoted += '#' + std::to_string(code);
        } else {
            quoted += c == '\'' ? std::string("''") : std::string(1, c);
        }
    }
    if (inQuotes) quoted += '\'';
    return quoted;
}

namespace {

std::string ElementName(const TPropInfo& prop, std::int64_t ordinal, const TObject& object) {
    if (ordinal < 0 || ordinal >= static_cast<std::int64_t>(prop.EnumNames.size())) {
        throw EFilerError("Property " + prop.Name + " of " + std::string(object.ClassName()) +
                          " has a value without a name (" + std::to_string(ordinal) + ")");
    }
    return prop.EnumNames[static_cast<std::size_t>(ordinal)];
}

// The property's text in a form, or nothing when it is not written.
std::optional<std::string> PropertyText(const TPropInfo& prop, const TComponent& component,
                                        const TComponent& root) {
    if (prop.IsReadOnly() || !prop.Stored || IsDefaultValue(prop, component)) return std::nullopt;
    return PropertyValueText(prop, component, root);
}

}  // namespace

bool IsDefaultValue(const TPropInfo& prop, const TComponent& component) {
    switch (prop.Kind) {
        case TTypeKind::tkMethod:
            return false;
        case TTypeKind::tkString:
            return prop.StrDefault == prop.GetStr(component);
        case TTypeKind::tkInteger:
        case TTypeKind::tkEnumeration:
        case TTypeKind::tkSet:
            return prop.OrdDefault == prop.GetOrd(component);
    }
    return false;
}

std::optional<std::string> PropertyValueText(const TPropInfo& prop, const TComponent& component,
                                             const TComponent& root) {
    switch (prop.Kind) {
        case TTypeKind::tkMethod: {
            const auto [object, method] = prop.GetMethod(component);
            if (object != &root || method.empty()) return std::nullopt;
            const TPublishedMethod* published = root.ClassType().FindMethod(method);
            if (published == nullptr) return std::nullopt;
            return published->Name;
        }
        case TTypeKind::tkString:
            return FormStringLiteral(prop.GetStr(component));
        case TTypeKind::tkInteger:
        case TTypeKind::tkEnumeration:
        case TTypeKind::tkSet:
            break;
    }
    const std::int64_t value = prop.GetOrd(component);
    if (prop.Kind == TTypeKind::tkInteger) return std::to_string(value);
    if (prop.Kind == TTypeKind::tkEnumeration) return ElementName(prop, value, component);
    std::string set = "[";
    for (int bit = 0; bit < 64; ++bit) {
        if ((value & (std::int64_t{1} << bit)) == 0) continue;
        if (set.size() > 1) set += ", ";
        set += ElementName(prop, bit, component);
    }
    return set + "]";
}

namespace {

void WriteObject(std::string& out, const TComponent& component, const TComponent& root, int depth) {
    if (depth > MaxFormNesting) {
        throw EFilerError("Component " + component.Name() + " is nested more than " +
                          std::to_string(MaxFormNesting) + " levels below " + root.Name() +
                          ", deeper than a form can hold");
    }
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    out += indent + "object ";
    if (!component.Name().empty()) out += component.Name() + ": ";
    out += std::string(component.ClassName()) + "\n";
    for (const TPropInfo* prop : component.ClassType().AllProperties()) {
        if (const auto text = PropertyText(*prop, component, root)) {
            out += indent + "  " + prop->Name + " = " + *text + "\n";
        }
    }
    for (int i = 0; i < component.ComponentCount(); ++i) {
        WriteObject(out, *component.Components(i), root, depth + 1);
    }
    out += indent + "end\n";
}

}  // namespace

std::string ComponentToText(const TComponent& root) {
    std::string text;
    WriteObject(text, root, root, 0);
    return text;
}

void WriteComponentFile(const std::string& path, const TComponent& root) {
    const std::string text = ComponentToText(root);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) throw EFCreateError("Cannot create file " + path);
    file << text;
    file.close();
    if (!file) throw EFCreateError("Cannot write file " + path);
}
