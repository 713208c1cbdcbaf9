// What the designer host does with a package and with form files; the
// `sorvan designer` commands print what these return.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/Packages.h"

// Description, version data, kind, requirements, units, and the palette
// after the package's Register (when it has one) ran.
std::string DescribePackage(const TPackage& package);

// Writes each palette component's bitmap from the package as <Class>.bmp in
// the folder (created when missing); returns the files written. Components
// without a bitmap in the package are skipped.
std::vector<std::filesystem::path> WritePaletteBitmaps(const TPackage& package,
                                                       const std::filesystem::path& folder);

// The captions of the context-menu verbs of a registered component class,
// from the editor the designer gives an instance of it.
std::vector<std::string> ComponentVerbs(const std::string& className);

struct TFormDesign {
    std::string RootName = "DataModule1";
    // "TSorvanIn" or "TSorvanIn:Mic"; unnamed components are numbered per class.
    std::vector<std::string> Drops;
    // "Mic.channels=2", "Mic.FileName=take.wav" (strings may be left unquoted).
    std::vector<std::string> Settings;
};

// Builds the form in a TDataModule and returns its text as a form file holds
// it; a wrong drop or setting raises an error naming that argument.
std::string DesignForm(const TFormDesign& design);

// Every component of a form file with its stored properties, defaults marked.
std::string DescribeFormFile(const std::filesystem::path& file);
