// The resources, descriptions and version data of the two built packages.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>

#include "framework/Packages.h"

namespace {

std::uint32_t U16(std::span<const std::byte> d, std::size_t at) {
    return std::to_integer<std::uint32_t>(d[at]) | std::to_integer<std::uint32_t>(d[at + 1]) << 8;
}
std::uint32_t U32(std::span<const std::byte> d, std::size_t at) {
    return U16(d, at) | U16(d, at + 2) << 16;
}

struct TBitmapHeader {
    std::uint32_t Size, Width, Height, Planes, BitCount, Compression, ColoursUsed;
};

TBitmapHeader ReadBitmapHeader(std::span<const std::byte> d) {
    return {U32(d, 0), U32(d, 4), U32(d, 8), U16(d, 12), U16(d, 14), U32(d, 16), U32(d, 32)};
}

class BuiltPackages : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        runtime = new TPackage(SORVANRT_PATH);
        designTime = new TPackage(SORVANDT_PATH);
    }
    static void TearDownTestSuite() {
        delete designTime;
        delete runtime;
    }
    static TPackage* runtime;
    static TPackage* designTime;
};

TPackage* BuiltPackages::runtime = nullptr;
TPackage* BuiltPackages::designTime = nullptr;

TEST_F(BuiltPackages, CarryTheirDescriptions) {
    EXPECT_EQ(runtime->Description(), "Tarvik's TSorvan component (run-time)");
    EXPECT_EQ(designTime->Description(), "Tarvik's TSorvan component (design-time)");
}

TEST_F(BuiltPackages, DeclareTheirKindRequirementsAndUnits) {
    const TPackageInfo rt = runtime->Info();
    EXPECT_EQ(rt.Flags, pfRunOnly | pfNeverBuild);
    EXPECT_EQ(rt.Requires, std::vector<std::string>{"vcl50"});
    EXPECT_EQ(rt.Contains, std::vector<std::string>{"Sorvan"});
    const TPackageInfo dt = designTime->Info();
    EXPECT_EQ(dt.Flags, pfDesignOnly | pfNeverBuild);
    EXPECT_EQ(dt.Requires, std::vector<std::string>{"vcl50"});
    EXPECT_EQ(dt.Contains, (std::vector<std::string>{"Sorvan", "SorvanReg"}));
    EXPECT_NE(designTime->Procedure("Register"), nullptr);
    EXPECT_EQ(runtime->Procedure("Register"), nullptr);
}

TEST_F(BuiltPackages, CarryVersionOneWithItalianLatinOneAndEmptyTextFields) {
    for (const TPackage* package : {runtime, designTime}) {
        SCOPED_TRACE(package->FileName());
        const TVersionInfo version = package->Version();
        EXPECT_EQ(VersionText(version.FileVersion), "1.0.0.0");
        EXPECT_EQ(VersionText(version.ProductVersion), "1.0.0.0");
        EXPECT_EQ(version.Translations, (std::vector<TVersionInfo::TTranslation>{{0x0410, 1252}}));
        ASSERT_EQ(version.StringTables.size(), 1u);
        EXPECT_EQ(version.StringTables[0].Key, "041004E4");
        std::vector<std::string> names;
        for (const auto& [name, value] : version.StringTables[0].Strings) {
            names.push_back(name);
            const bool versionField = name == "FileVersion" || name == "ProductVersion";
            EXPECT_EQ(value, versionField ? "1.0.0.0" : "") << name;
        }
        EXPECT_EQ(names, (std::vector<std::string>{"CompanyName", "FileDescription", "FileVersion",
                                                   "InternalName", "LegalCopyright",
                                                   "LegalTrademarks", "OriginalFilename",
                                                   "ProductName", "ProductVersion", "Comments"}));
    }
}

TEST_F(BuiltPackages, CarryOne32By32SixteenColourIconAsMainIcon) {
    for (const TPackage* package : {runtime, designTime}) {
        SCOPED_TRACE(package->FileName());
        const auto group = package->Resource(restype::GroupIcon, "MAINICON");
        ASSERT_TRUE(group);
        ASSERT_EQ(group->size(), 6u + 14u);
        EXPECT_EQ(U16(*group, 2), 1u);  // icons, not cursors
        EXPECT_EQ(U16(*group, 4), 1u);  // one image
        EXPECT_EQ(std::to_integer<int>((*group)[6]), 32);
        EXPECT_EQ(std::to_integer<int>((*group)[7]), 32);
        EXPECT_EQ(std::to_integer<int>((*group)[8]), 16);
        EXPECT_EQ(U16(*group, 12), 4u);
        const std::uint32_t imageSize = U32(*group, 14);
        const auto image = package->Resource(restype::Icon, "#" + std::to_string(U16(*group, 18)));
        ASSERT_TRUE(image);
        ASSERT_EQ(image->size(), imageSize);
        const TBitmapHeader header = ReadBitmapHeader(*image);
        EXPECT_EQ(header.Size, 40u);
        EXPECT_EQ(header.Width, 32u);
        EXPECT_EQ(header.Height, 64u);  // colour rows and mask rows
        EXPECT_EQ(header.BitCount, 4u);
        EXPECT_EQ(header.Compression, 0u);
        // Header, 16 colours, 4-bit pixels and the 1-bit mask.
        EXPECT_EQ(imageSize, 40u + 16 * 4 + 32 * 32 / 2 + 32 * 4);
    }
}

TEST_F(BuiltPackages, OnlyTheDesignTimePackageCarriesThePaletteBitmaps) {
    std::vector<std::byte> pictures[2];
    int i = 0;
    for (const char* name : {"TSORVANIN", "tsorvanout"}) {
        EXPECT_FALSE(runtime->Resource(restype::Bitmap, name));
        const auto bitmap = designTime->Resource(restype::Bitmap, name);
        ASSERT_TRUE(bitmap) << name;
        ASSERT_EQ(bitmap->size(), 1640u);
        const TBitmapHeader header = ReadBitmapHeader(*bitmap);
        EXPECT_EQ(header.Size, 40u);
        EXPECT_EQ(header.Width, 24u);
        EXPECT_EQ(header.Height, 24u);
        EXPECT_EQ(header.Planes, 1u);
        EXPECT_EQ(header.BitCount, 8u);
        EXPECT_EQ(header.Compression, 0u);
        EXPECT_TRUE(header.ColoursUsed == 0 || header.ColoursUsed == 256);
        // 256 colours of four bytes, then 24 rows of 24 bytes.
        EXPECT_EQ(bitmap->size(), 40u + 256 * 4 + 24 * 24);
        pictures[i++].assign(bitmap->begin(), bitmap->end());
    }
    EXPECT_NE(pictures[0], pictures[1]);
}

TEST(PackageLoading, RefusesMissingFilesAndLibrariesThatAreNotPackages) {
    EXPECT_THROW(TPackage("/no/such/package.so"), EPackageError);
    EXPECT_THROW(TPackage(PLATFORM_LIBRARY_PATH), EPackageError);
}

}  // namespace
