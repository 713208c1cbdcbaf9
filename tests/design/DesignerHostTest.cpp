// The designer host of the sorvan program, with the design-time package loaded
// into a process that also holds the run-time package, as the program does.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "framework/DesignIntf.h"
#include "tools/sorvan/CliError.h"
#include "tools/sorvan/DesignerHost.h"

namespace {

class DesignerHost : public testing::Test {
  protected:
    void SetUp() override {
        package = std::make_unique<TPackage>(SORVANDT_PATH);
        package->Register();
    }
    std::unique_ptr<TPackage> package;
};

TEST_F(DesignerHost, DescribesThePackageAndItsPalette) {
    const std::string text = DescribePackage(*package);
    EXPECT_NE(text.find("Description  Tarvik's TSorvan component (design-time)\n"),
              std::string::npos);
    EXPECT_NE(text.find("Version      1.0.0.0 (product 1.0.0.0), language 0x0410, code page 1252"),
              std::string::npos);
    EXPECT_NE(text.find("Kind         design-time only, never rebuilt\n"), std::string::npos);
    EXPECT_NE(text.find("Contains     Sorvan, SorvanReg\n"), std::string::npos);
    EXPECT_NE(text.find("Palette      Tarvik: TSorvanIn, TSorvanOut\n"), std::string::npos);
}

TEST_F(DesignerHost, WritesThePaletteBitmapsAsBmpFiles) {
    const auto folder = std::filesystem::temp_directory_path() / "sorvan-designer-bitmaps";
    std::filesystem::remove_all(folder);
    const auto files = WritePaletteBitmaps(*package, folder / "new");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].filename(), "TSorvanIn.bmp");
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        ASSERT_EQ(bytes.size(), 14u + 1640u);
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        // Pixels start after both headers and the 256 colours.
        EXPECT_EQ(static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11])
                                                              << 8,
                  14 + 40 + 1024);
    }
    std::filesystem::remove_all(folder);
}

TEST_F(DesignerHost, ShowsTheEditorsVerbs) {
    EXPECT_EQ(ComponentVerbs("TSorvanOut"),
              (std::vector<std::string>{"TSorvan version 2.06", "By Vandrell"}));
    EXPECT_THROW(ComponentVerbs("TWidget"), CliError);
}

TEST_F(DesignerHost, DesignsAFormWithDroppedComponentsAndSettings) {
    const std::string text =
        DesignForm({.RootName = "Studio",
                    .Drops = {"TSorvanIn", "TSorvanIn:Mic", "TSorvanOut"},
                    .Settings = {"mic.FileName=it's.wav", "Mic.channels=2",
                                 "SorvanOut1.device=wvDevice2", "SorvanIn1.samples=8000"}});
    EXPECT_EQ(text,
              "object Studio: TDataModule\n"
              "  object SorvanIn1: TSorvanIn\n  end\n"
              "  object Mic: TSorvanIn\n"
              "    FileName = 'it''s.wav'\n"
              "    channels = 2\n"
              "  end\n"
              "  object SorvanOut1: TSorvanOut\n"
              "    device = wvDevice2\n"
              "  end\n"
              "end\n");

    const auto file = std::filesystem::temp_directory_path() / "sorvan-designer-form.sfm";
    std::ofstream(file) << text;
    const std::string shown = DescribeFormFile(file);
    std::filesystem::remove(file);
    EXPECT_NE(shown.find("  Mic: TSorvanIn\n    FileName = 'it''s.wav'\n    channels = 2\n"
                         "    samples = 8000  (default)\n"),
              std::string::npos)
        << shown;
}

TEST_F(DesignerHost, NamesTheArgumentOfAWrongDropOrSetting) {
    const auto failure = [](const TFormDesign& design) {
        try {
            DesignForm(design);
        } catch (const CliError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(failure({.Drops = {"TSorvanIn:Mic"}, .Settings = {"Mic.chanels=2"}}),
              "--set Mic.chanels=2: Property chanels of TSorvanIn does not exist");
    EXPECT_EQ(failure({.Drops = {"TSorvanOut:Out"}, .Settings = {"Out.volume=2"}}),
              "--set Out.volume=2: Property volume of TSorvanOut is not stored in forms");
    EXPECT_EQ(failure({.Drops = {"TSorvanOut:A", "TSorvanIn:a"}}),
              "--drop TSorvanIn:a: A component named a already exists");
    EXPECT_EQ(failure({.Drops = {"TSorvanOut:A"}, .Settings = {"B.channels=1"}}),
              "--set B.channels=1: no component named B");
    EXPECT_EQ(failure({.Drops = {"TSorvanOut:A"}, .Settings = {"A.channels"}}),
              "--set A.channels: expected COMPONENT.PROPERTY=VALUE");
    EXPECT_NE(failure({.Drops = {"TNothing"}}).find("--drop TNothing: no component class"),
              std::string::npos);
}

TEST_F(DesignerHost, ASettingIsOneValueAndAddsNothingElseToTheForm) {
    const auto failure = [](const std::string& setting) {
        try {
            DesignForm({.Drops = {"TSorvanIn:Mic"}, .Settings = {setting}});
        } catch (const CliError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(failure("Mic.channels=2\n  object X: TSorvanOut\n  end"),
              "--set Mic.channels=2\\x0A  object X: TSorvanOut\\x0A  end: "
              "Unexpected text after the value");
    EXPECT_EQ(failure("Mic.channels=2 object X: TSorvanOut end"),
              "--set Mic.channels=2 object X: TSorvanOut end: Unexpected text after the value");
    EXPECT_EQ(failure("Mic.FileName='a' object X: TSorvanOut end"),
              "--set Mic.FileName='a' object X: TSorvanOut end: Unexpected text after the value");
    EXPECT_EQ(failure("Mic.channels\nobject X: TSorvanOut\nend\nchannels=2"),
              "--set Mic.channels\\x0Aobject X: TSorvanOut\\x0Aend\\x0Achannels=2: "
              "expected COMPONENT.PROPERTY=VALUE");
    EXPECT_EQ(failure("Mic.channels=\x01"), "--set Mic.channels=\\x01: Unexpected character #1");

    // A bare string keeps its control characters, as the form writes them.
    EXPECT_EQ(DesignForm({.RootName = "R",
                          .Drops = {"TSorvanIn:Mic"},
                          .Settings = {"Mic.FileName=a\nb.wav", "Mic.channels = 2"}}),
              "object R: TDataModule\n"
              "  object Mic: TSorvanIn\n"
              "    FileName = 'a'#10'b.wav'\n"
              "    channels = 2\n"
              "  end\n"
              "end\n");
}

}  // namespace
