#include "tools/sorvan/DesignerHost.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>

#include "framework/ClassRegistry.h"
#include "framework/DataModule.h"
#include "framework/DesignIntf.h"
#include "framework/FormParser.h"
#include "framework/Streaming.h"
#include "tools/sorvan/CliError.h"
#include "tools/sorvan/Listing.h"

namespace {

std::string Join(const std::vector<std::string>& items) {
    return items.empty() ? "(none)" : JoinWithCommas(items);
}

std::string Hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

std::string DescribeKind(std::uint32_t flags) {
    std::string kind = (flags & pfDesignOnly) ? "design-time only"
                       : (flags & pfRunOnly)  ? "run-time only"
                                              : "run-time and design-time";
    if (flags & pfNeverBuild) kind += ", never rebuilt";
    return kind;
}

std::string DescribeVersion(const TPackage& package) {
    try {
        const TVersionInfo version = package.Version();
        std::string text = VersionText(version.FileVersion) + " (product " +
                           VersionText(version.ProductVersion) + ")";
        for (const auto& t : version.Translations) {
            text += ", language " + Hex4(t.Language) + ", code page " + std::to_string(t.CodePage);
        }
        return text;
    } catch (const EPackageError&) {
        return "(none)";
    }
}

std::uint32_t Read32(std::span<const std::byte> d, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | std::to_integer<std::uint32_t>(d[at + i]);
    return value;
}

// A bitmap resource is a DIB; a file puts the 14-byte file header before it.
std::vector<std::byte> BitmapFile(std::span<const std::byte> dib) {
    if (dib.size() < 40 || Read32(dib, 0) < 40) throw CliError("damaged bitmap resource");
    const std::uint32_t bits = Read32(dib, 12) >> 16;
    std::uint32_t colours = Read32(dib, 32);
    if (colours == 0 && bits <= 8) colours = 1u << bits;
    const std::uint32_t offset = 14 + Read32(dib, 0) + 4 * colours;
    const auto fileSize = static_cast<std::uint32_t>(14 + dib.size());
    std::vector<std::byte> file{std::byte{'B'}, std::byte{'M'}};
    for (const std::uint32_t field : {fileSize, 0u, offset}) {
        for (int i = 0; i < 4; ++i) file.push_back(static_cast<std::byte>(field >> (8 * i)));
    }
    file.insert(file.end(), dib.begin(), dib.end());
    return file;
}

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

// An argument as a message quotes it: on one line, control characters escaped.
std::string ArgumentText(std::string_view argument) {
    std::string text;
    for (const char c : argument) {
        const auto code = static_cast<unsigned char>(c);
        if (code >= 32 && code != 127) {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", code);
            text += escaped;
        }
    }
    return text;
}

// Strings may be given bare on the command line; anything else is form
// syntax, and must be one value: a setting cannot add lines or objects to
// the form.
std::string FormValue(const TClassInfo& componentClass, const std::string& property,
                      const std::string& setting, const std::string& value) {
    const TPropInfo* prop = componentClass.FindProperty(property);
    const bool quoted = !value.empty() && (value.front() == '\'' || value.front() == '#');
    if (prop != nullptr && prop->Kind == TTypeKind::tkString && !quoted) {
        return FormStringLiteral(value);
    }
    try {
        ParseFormValue(value);
    } catch (const EReadError& e) {
        const std::string message = e.Message();
        throw CliError("--set " + ArgumentText(setting) + ": " +
                       message.substr(message.find(": ") + 2));
    }
    return value;
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

struct TDrop {
    const TClassInfo* Class;
    std::string Name;
    std::vector<std::string> PropertyLines;
    std::vector<std::string> SettingArguments;
};

std::vector<TDrop> PlanDrops(const TFormDesign& design) {
    std::vector<TDrop> drops;
    std::map<std::string, int> perClass;
    for (const std::string& drop : design.Drops) {
        const auto colon = drop.find(':');
        const std::string className = drop.substr(0, colon);
        const TClassInfo* componentClass = GetClass(className);
        if (componentClass == nullptr || componentClass->Create == nullptr) {
            throw CliError("--drop " + ArgumentText(drop) + ": no component class " +
                           ArgumentText(className) +
                           " is registered (load its package with --package)");
        }
        std::string name = colon == std::string::npos ? "" : drop.substr(colon + 1);
        if (name.empty()) {
            const std::string stem(componentClass->Name.substr(1));
            name = stem + std::to_string(++perClass[stem]);
        }
        if (!IsValidIdent(name)) {
            throw CliError("--drop " + ArgumentText(drop) + ": bad component name");
        }
        drops.push_back({componentClass, name, {}, {}});
    }
    for (const std::string& setting : design.Settings) {
        const auto dot = setting.find('.');
        const auto equals = setting.find('=');
        const bool shaped = dot != std::string::npos && equals != std::string::npos && dot < equals;
        const std::string property =
            shaped ? Trimmed(setting.substr(dot + 1, equals - dot - 1)) : "";
        if (!IsValidIdent(property)) {
            throw CliError("--set " + ArgumentText(setting) +
                           ": expected COMPONENT.PROPERTY=VALUE");
        }
        const std::string component = setting.substr(0, dot);
        auto target = std::find_if(drops.begin(), drops.end(),
                                   [&](const TDrop& d) { return SameText(d.Name, component); });
        if (target == drops.end()) {
            throw CliError("--set " + ArgumentText(setting) + ": no component named " +
                           ArgumentText(component));
        }
        target->PropertyLines.push_back(
            property + " = " +
            FormValue(*target->Class, property, setting, setting.substr(equals + 1)));
        target->SettingArguments.push_back(setting);
    }
    return drops;
}

}  // namespace

std::string DescribePackage(const TPackage& package) {
    const TPackageInfo info = package.Info();
    std::string text;
    text += "Package      " + package.FileName() + "\n";
    text += "Description  " + package.Description() + "\n";
    text += "Version      " + DescribeVersion(package) + "\n";
    text += "Kind         " + DescribeKind(info.Flags) + "\n";
    text += "Requires     " + Join(info.Requires) + "\n";
    text += "Contains     " + Join(info.Contains) + "\n";
    if (package.Procedure("Register") == nullptr) return text + "Palette      (no Register)\n";
    const auto pages = PalettePages();
    if (pages.empty()) text += "Palette      (empty)\n";
    for (const TPalettePage& page : pages) {
        std::vector<std::string> names;
        for (const TClassInfo* c : page.Classes) names.emplace_back(c->Name);
        text += "Palette      " + page.Name + ": " + Join(names) + "\n";
    }
    return text;
}

std::vector<std::filesystem::path> WritePaletteBitmaps(const TPackage& package,
                                                       const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    std::vector<std::filesystem::path> written;
    for (const TPalettePage& page : PalettePages()) {
        for (const TClassInfo* c : page.Classes) {
            const auto dib = package.Resource(restype::Bitmap, UpperCase(c->Name));
            if (!dib) continue;
            const std::vector<std::byte> bytes = BitmapFile(*dib);
            const auto path = folder / (std::string(c->Name) + ".bmp");
            std::ofstream file(path, std::ios::binary | std::ios::trunc);
            file.write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
            file.close();
            if (!file) throw CliError("cannot write " + path.string());
            written.push_back(path);
        }
    }
    return written;
}

std::vector<std::string> ComponentVerbs(const std::string& className) {
    const TClassInfo* componentClass = GetClass(className);
    if (componentClass == nullptr || componentClass->Create == nullptr) {
        throw CliError("no component class " + className + " is registered");
    }
    TDataModule form(nullptr);
    TComponent* component = componentClass->Create(&form);
    const auto editor = GetComponentEditor(component, nullptr);
    std::vector<std::string> verbs;
    for (int i = 0; i < editor->GetVerbCount(); ++i) verbs.push_back(editor->GetVerb(i));
    return verbs;
}

std::string DesignForm(const TFormDesign& design) {
    if (!IsValidIdent(design.RootName)) throw CliError("--name " + design.RootName + ": bad name");
    const std::vector<TDrop> drops = PlanDrops(design);

    // The form is written as text and read back, so that the form reader
    // checks every value; its line numbers lead back to the arguments.
    std::string text = "object " + design.RootName + ": TDataModule\n";
    std::map<int, std::string> argumentOfLine;
    int line = 1;
    for (const TDrop& drop : drops) {
        text += "  object " + drop.Name + ": " + std::string(drop.Class->Name) + "\n";
        argumentOfLine[++line] = "--drop " + std::string(drop.Class->Name) + ":" + drop.Name;
        for (std::size_t i = 0; i < drop.PropertyLines.size(); ++i) {
            text += "    " + drop.PropertyLines[i] + "\n";
            argumentOfLine[++line] = "--set " + ArgumentText(drop.SettingArguments[i]);
        }
        text += "  end\n";
        ++line;
    }
    text += "end\n";
    try {
        return ComponentToText(*CreateComponentFromText(text));
    } catch (const EReadError& e) {
        const std::string message = e.Message();
        const auto found = argumentOfLine.find(e.Line());
        const std::string argument = found == argumentOfLine.end() ? "form" : found->second;
        throw CliError(argument + ": " + message.substr(message.find(": ") + 2));
    }
}

std::string DescribeFormFile(const std::filesystem::path& file) {
    const std::unique_ptr<TComponent> root = CreateComponentFromFile(file.string());
    std::string text;
    const auto describe = [&](const auto& self, const TComponent& component, int depth) -> void {
        const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
        text += indent + component.Name() + ": " + std::string(component.ClassName()) + "\n";
        for (const TPropInfo* prop : component.ClassType().AllProperties()) {
            if (!prop->Stored || prop->IsReadOnly()) continue;
            const auto value = PropertyValueText(*prop, component, *root);
            if (!value) continue;
            text += indent + "  " + prop->Name + " = " + *value +
                    (IsDefaultValue(*prop, component) ? "  (default)" : "") + "\n";
        }
        for (int i = 0; i < component.ComponentCount(); ++i) {
            self(self, *component.Components(i), depth + 1);
        }
    };
    describe(describe, *root, 0);
    return text;
}
