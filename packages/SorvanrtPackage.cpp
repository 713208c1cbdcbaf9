// Package entry points of sorvanrt, the run-time package of unit Sorvan.
#include <iterator>

#include "framework/Packages.h"

namespace {

const char* const kRequires[] = {"vcl50"};
const char* const kContains[] = {"Sorvan"};

}  // namespace

extern "C" const TPackageInfoTable* GetPackageInfoTable() {
    static const TPackageInfoTable table{pfRunOnly | pfNeverBuild, kRequires, std::size(kRequires),
                                         kContains, std::size(kContains)};
    return &table;
}
