#include <gtest/gtest.h>

#include "framework/Utf16.h"
#include "framework/VersionInfo.h"

namespace {

TVersionInfo SampleInfo() {
    return TVersionInfo{
        .FileVersion = {1, 2, 3, 4},
        .ProductVersion = {5, 6, 7, 8},
        .StringTables = {{.Key = "041004E4",
                          .Strings = {{"CompanyName", ""},
                                      {"FileVersion", "1.2.3.4"},
                                      {"Comments", "caf\xc3\xa9 \xf0\x9f\x8e\xb5"}}}},
        .Translations = {{0x0410, 1252}},
    };
}

TEST(VersionResource, RoundTripsEveryField) {
    const auto data = BuildVersionResource(SampleInfo());
    EXPECT_EQ(data.size() % 4, 0u);
    const TVersionInfo read = ParseVersionResource(data);
    EXPECT_EQ(read.FileVersion, (TVersionInfo::TVersion{1, 2, 3, 4}));
    EXPECT_EQ(VersionText(read.ProductVersion), "5.6.7.8");
    EXPECT_EQ(read.FileType, 2u);
    ASSERT_EQ(read.StringTables.size(), 1u);
    EXPECT_EQ(read.StringTables[0].Key, "041004E4");
    EXPECT_EQ(read.StringTables[0].Strings, SampleInfo().StringTables[0].Strings);
    EXPECT_EQ(read.Field("Comments"), "caf\xc3\xa9 \xf0\x9f\x8e\xb5");
    EXPECT_EQ(read.Translations, (std::vector<TVersionInfo::TTranslation>{{0x0410, 1252}}));
}

TEST(VersionResource, LaysOutTheRootBlockAsResourceCompilersDo) {
    const auto data = BuildVersionResource(SampleInfo());
    const auto at16 = [&](std::size_t i) {
        return std::to_integer<int>(data[i]) | std::to_integer<int>(data[i + 1]) << 8;
    };
    EXPECT_EQ(static_cast<std::size_t>(at16(0)), data.size());
    EXPECT_EQ(at16(2), 52);  // the fixed file information
    EXPECT_EQ(at16(4), 0);
    EXPECT_EQ(Utf16BytesToUtf8(std::span(data).subspan(6, 30)), "VS_VERSION_INFO");
    // The fixed information starts at 40, aligned, with its signature.
    EXPECT_EQ(at16(40), 0x04BD);
    EXPECT_EQ(at16(42), 0xFEEF);
}

TEST(VersionResource, DamagedDataRaises) {
    auto data = BuildVersionResource(SampleInfo());
    EXPECT_THROW(ParseVersionResource(std::span(data).first(20)), EVersionInfoError);
    data[0] = std::byte{0xFF};
    data[1] = std::byte{0xFF};
    EXPECT_THROW(ParseVersionResource(data), EVersionInfoError);
    data = BuildVersionResource(SampleInfo());
    data[40] = std::byte{0};
    EXPECT_THROW(ParseVersionResource(data), EVersionInfoError);
    EXPECT_THROW(ParseVersionResource({}), EVersionInfoError);
}

TEST(Utf16Text, StopsAtTheFirstNullAndReplacesBrokenInput) {
    auto bytes = Utf8ToUtf16Bytes("ab");
    bytes.insert(bytes.end(), {std::byte{0}, std::byte{0}, std::byte{'c'}, std::byte{0}});
    EXPECT_EQ(Utf16BytesToUtf8(bytes), "ab");
    EXPECT_EQ(Utf16BytesToUtf8(Utf8ToUtf16Bytes("\xff")), "\xef\xbf\xbd");
    const std::byte loneSurrogate[] = {std::byte{0x00}, std::byte{0xD8}};
    EXPECT_EQ(Utf16BytesToUtf8(loneSurrogate), "\xef\xbf\xbd");
}

}  // namespace
