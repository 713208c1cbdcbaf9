// Pieces of the packages' resource tables off Windows, built from the same
// texts and numbers that the Windows resource scripts use.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "framework/Packages.h"

// An RCDATA "DESCRIPTION": the text in UTF-16 with a terminating null.
std::vector<std::byte> DescriptionResource(std::string_view text);
// The version resource of both packages.
std::vector<std::byte> PackageVersionResource();
TResourceEntry ResourceEntry(const char* type, const char* name,
                             const std::vector<std::byte>& data);
