// Version resources (VS_VERSIONINFO): the fixed file information, string
// tables of text fields and the translations, in the layout that Windows
// resource compilers produce, so that one reader serves every platform.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "framework/SysUtils.h"

class EVersionInfoError : public Exception {
  public:
    using Exception::Exception;
};

struct TVersionInfo {
    using TVersion = std::array<std::uint16_t, 4>;
    struct TTranslation {
        std::uint16_t Language = 0;
        std::uint16_t CodePage = 0;
        bool operator==(const TTranslation&) const = default;
    };
    struct TStringTable {
        // The translation as eight hexadecimal digits, "041004E4".
        std::string Key;
        // Field name and value, in resource order.
        std::vector<std::pair<std::string, std::string>> Strings;
    };

    TVersion FileVersion{};
    TVersion ProductVersion{};
    std::uint32_t FileFlagsMask = 0x3F;
    std::uint32_t FileFlags = 0;
    std::uint32_t FileOS = 0x4;    // VOS__WINDOWS32
    std::uint32_t FileType = 0x2;  // VFT_DLL
    std::uint32_t FileSubtype = 0;
    std::vector<TStringTable> StringTables;
    std::vector<TTranslation> Translations;

    // The value of a text field in the first string table; empty when absent.
    std::string Field(std::string_view name) const;
};

// "1.0.0.0"
std::string VersionText(const TVersionInfo::TVersion& version);

std::vector<std::byte> BuildVersionResource(const TVersionInfo& info);
// Raises EVersionInfoError for data that is not a version resource.
TVersionInfo ParseVersionResource(std::span<const std::byte> data);
