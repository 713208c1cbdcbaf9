// sorvan designer: loads a package as the development environment does,
// calls its Register, and shows what it put on the palette; builds and shows
// form files with the registered components.
//
//   sorvan designer package PACKAGE [--bitmaps FOLDER]
//   sorvan designer verbs PACKAGE CLASS
//   sorvan designer new-form FILE [--package PACKAGE] [--name ROOT]
//                            --drop CLASS[:NAME]... [--set NAME.PROPERTY=VALUE]... [--force]
//   sorvan designer show FILE [--package PACKAGE]
#include "tools/sorvan/DesignerCommands.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "framework/Packages.h"
#include "tools/sorvan/CliError.h"
#include "tools/sorvan/DesignerHost.h"

namespace {

struct TDesignerOptions {
    std::string packagePath;
    std::string bitmapFolder;
    std::string className;
    std::string formFile;
    std::string rootName = "DataModule1";
    std::vector<std::string> drops;
    std::vector<std::string> settings;
    bool force = false;
};

// Loads the package and runs its Register, as the designer does after loading.
std::unique_ptr<TPackage> LoadAndRegister(const std::string& path) {
    auto package = std::make_unique<TPackage>(path);
    if (package->Procedure("Register") != nullptr) package->Register();
    return package;
}

void ShowPackage(const TDesignerOptions& options) {
    const auto package = LoadAndRegister(options.packagePath);
    std::fputs(DescribePackage(*package).c_str(), stdout);
    if (options.bitmapFolder.empty()) return;
    for (const auto& file : WritePaletteBitmaps(*package, options.bitmapFolder)) {
        std::printf("Wrote        %s\n", file.string().c_str());
    }
}

void ShowVerbs(const TDesignerOptions& options) {
    const auto package = LoadAndRegister(options.packagePath);
    const auto verbs = ComponentVerbs(options.className);
    if (verbs.empty()) std::printf("%s has no context-menu verbs\n", options.className.c_str());
    for (std::size_t i = 0; i < verbs.size(); ++i) std::printf("%zu  %s\n", i, verbs[i].c_str());
}

void NewForm(const TDesignerOptions& options) {
    std::unique_ptr<TPackage> package;
    if (!options.packagePath.empty()) package = LoadAndRegister(options.packagePath);
    if (!options.force && std::filesystem::exists(options.formFile)) {
        throw CliError(options.formFile + " exists already (use --force to replace it)");
    }
    const std::string text = DesignForm(
        {.RootName = options.rootName, .Drops = options.drops, .Settings = options.settings});
    std::ofstream file(options.formFile, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) throw CliError("cannot write " + options.formFile);
    std::fputs(text.c_str(), stdout);
}

void ShowForm(const TDesignerOptions& options) {
    std::unique_ptr<TPackage> package;
    if (!options.packagePath.empty()) package = LoadAndRegister(options.packagePath);
    std::fputs(DescribeFormFile(options.formFile).c_str(), stdout);
}

}  // namespace

void AddDesignerCommands(CLI::App& app) {
    auto* designer = app.add_subcommand(
        "designer", "Load a design-time package and build form files, as the designer does");
    designer->require_subcommand(1);
    designer->footer(
        "Examples:\n"
        "  sorvan designer package build/packages/sorvandt.so --bitmaps /tmp/palette\n"
        "  sorvan designer verbs build/packages/sorvandt.so TSorvanIn\n"
        "  sorvan designer new-form form.dfm --package build/packages/sorvandt.so \\\n"
        "      --drop TSorvanIn:Mic --set Mic.channels=2\n"
        "  sorvan designer show form.dfm");
    auto options = std::make_shared<TDesignerOptions>();

    auto* package = designer->add_subcommand(
        "package", "Show a package's description, version and palette after its Register");
    package->add_option("PACKAGE", options->packagePath, "Package file")->required();
    package->add_option("--bitmaps", options->bitmapFolder,
                        "Write each palette component's bitmap into this folder as <Class>.bmp");
    package->callback([options] { ShowPackage(*options); });

    auto* verbs = designer->add_subcommand("verbs", "Show a component's context-menu verbs");
    verbs->add_option("PACKAGE", options->packagePath, "Package file")->required();
    verbs->add_option("CLASS", options->className, "Component class, such as TSorvanIn")
        ->required();
    verbs->callback([options] { ShowVerbs(*options); });

    auto* newForm = designer->add_subcommand(
        "new-form", "Write a form file with components dropped on it and properties set");
    newForm->add_option("FILE", options->formFile, "Form file to write")->required();
    newForm->add_option("--package", options->packagePath, "Design-time package to load first");
    newForm->add_option("--name", options->rootName, "Name of the form")->capture_default_str();
    newForm->add_option("--drop", options->drops, "Component to drop: CLASS or CLASS:NAME")
        ->required();
    newForm->add_option("--set", options->settings,
                        "Property to set: NAME.PROPERTY=VALUE (form syntax; strings may be bare)");
    newForm->add_flag("--force", options->force, "Replace an existing file");
    newForm->callback([options] { NewForm(*options); });

    auto* show = designer->add_subcommand("show", "Show a form file's components and properties");
    show->add_option("FILE", options->formFile, "Form file to read")
        ->required()
        ->check(CLI::ExistingFile);
    show->add_option("--package", options->packagePath, "Design-time package to load first");
    show->callback([options] { ShowForm(*options); });
}
