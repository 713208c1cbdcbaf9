// The packages' resources as the system itself reads them: its version API,
// its bitmap and icon loaders. The package tests read the same resources
// with the framework's own parser; here the system has to agree.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

class PackageFile : public testing::TestWithParam<const char*> {};

std::string StringValue(const std::vector<char>& block, const std::string& name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string path = "\\StringFileInfo\\041004E4\\" + name;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
        return "<missing>";
    return std::string(value, length > 0 ? length - 1 : 0);
}

TEST_P(PackageFile, VersionIsOneOhOhOhInItalianLatinOne) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(GetParam(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(GetParam(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0410);
    EXPECT_EQ(translation[1], 1252);
    EXPECT_EQ(StringValue(block, "FileVersion"), "1.0.0.0");
    EXPECT_EQ(StringValue(block, "ProductVersion"), "1.0.0.0");
    EXPECT_EQ(StringValue(block, "CompanyName"), "");
}

TEST_P(PackageFile, MainIconLoadsThroughTheSystemsIconLoader) {
    const HMODULE module = LoadLibraryExA(GetParam(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    const HICON icon = static_cast<HICON>(LoadImageA(module, "MAINICON", IMAGE_ICON, 32, 32, 0));
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr) DestroyIcon(icon);
    FreeLibrary(module);
}

INSTANTIATE_TEST_SUITE_P(Packages, PackageFile, testing::Values(SORVANRT_PATH, SORVANDT_PATH));

TEST(DesignTimePackage, PaletteBitmapsLoadAs24By24ThroughTheSystemsBitmapLoader) {
    const HMODULE module = LoadLibraryExA(SORVANDT_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    for (const char* name : {"TSORVANIN", "TSORVANOUT"}) {
        SCOPED_TRACE(name);
        const HRSRC found = FindResourceA(module, name, MAKEINTRESOURCEA(2));  // RT_BITMAP
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(SizeofResource(module, found), 1640u);
        const auto bitmap =
            static_cast<HBITMAP>(LoadImageA(module, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ASSERT_NE(bitmap, nullptr);
        DIBSECTION section{};
        ASSERT_EQ(GetObjectA(bitmap, sizeof section, &section), static_cast<int>(sizeof section));
        EXPECT_EQ(section.dsBm.bmWidth, 24);
        EXPECT_EQ(section.dsBm.bmHeight, 24);
        EXPECT_EQ(section.dsBm.bmBitsPixel, 8);
        DeleteObject(bitmap);
    }
    FreeLibrary(module);
}

}  // namespace
