// Package entry points of sorvandt, the design-time package: its own copy of
// unit Sorvan and unit SorvanReg, whose Register the designer calls.
#include <iterator>

#include "design/SorvanReg.h"
#include "framework/Packages.h"

namespace {

const char* const kRequires[] = {"vcl50"};
const char* const kContains[] = {"Sorvan", "SorvanReg"};

}  // namespace

extern "C" const TPackageInfoTable* GetPackageInfoTable() {
    static const TPackageInfoTable table{pfDesignOnly | pfNeverBuild, kRequires,
                                         std::size(kRequires), kContains, std::size(kContains)};
    return &table;
}

extern "C" void Register() {
    Sorvanreg::Register();
}
