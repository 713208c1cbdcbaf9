#include "packages/PackageResources.h"

#include "framework/Utf16.h"
#include "framework/VersionInfo.h"
#include "packages/PackageVersion.h"

std::vector<std::byte> DescriptionResource(std::string_view text) {
    std::vector<std::byte> data = Utf8ToUtf16Bytes(text);
    data.resize(data.size() + 2);
    return data;
}

std::vector<std::byte> PackageVersionResource() {
    const TVersionInfo::TVersion version{SORVAN_PACKAGE_VERSION};
    return BuildVersionResource(TVersionInfo{
        .FileVersion = version,
        .ProductVersion = version,
        .StringTables = {{.Key = SORVAN_PACKAGE_STRING_TABLE,
                          .Strings = {{"CompanyName", ""},
                                      {"FileDescription", ""},
                                      {"FileVersion", SORVAN_PACKAGE_VERSION_TEXT},
                                      {"InternalName", ""},
                                      {"LegalCopyright", ""},
                                      {"LegalTrademarks", ""},
                                      {"OriginalFilename", ""},
                                      {"ProductName", ""},
                                      {"ProductVersion", SORVAN_PACKAGE_VERSION_TEXT},
                                      {"Comments", ""}}}},
        .Translations = {{SORVAN_PACKAGE_LANGUAGE, SORVAN_PACKAGE_CODEPAGE}},
    });
}

TResourceEntry ResourceEntry(const char* type, const char* name,
                             const std::vector<std::byte>& data) {
    return {type, name, reinterpret_cast<const unsigned char*>(data.data()), data.size()};
}
