// `sorvan designer` given hostile form files and arguments: one clear line on
// stderr and a non-zero exit, never a crash, a hang or a file half written.
#include <gtest/gtest.h>

#include <string>

#include "../tools/CliRunner.h"

namespace {

class DesignerCli : public testing::Test {
  protected:
    // Runs the command and expects exactly one "sorvan: " line on stderr,
    // nothing on stdout and exit code 1; returns that line.
    std::string Refused(const std::vector<std::string>& args) {
        const CliResult result = RunSorvan(args, folder.path());
        EXPECT_EQ(result.signal, 0) << result.err;
        EXPECT_EQ(result.exitCode, 1) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("sorvan: ", 0), 0u) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
        EXPECT_LT(result.err.size(), 300u);
        return result.err;
    }

    std::string FormFile(const std::string& text) {
        const auto path = folder / "hostile.sfm";
        WriteBytes(path, {reinterpret_cast<const std::byte*>(text.data()),
                          reinterpret_cast<const std::byte*>(text.data() + text.size())});
        return path.string();
    }

    TempFolder folder;
};

TEST_F(DesignerCli, ShowRefusesHostileFormFilesInOneLine) {
    std::string deep = "object F: TDataModule\n";
    for (int i = 0; i < 20000; ++i) deep += "object TDataModule\n";
    for (int i = 0; i <= 20000; ++i) deep += "end\n";
    EXPECT_EQ(Refused({"designer", "show", FormFile(deep)}),
              "sorvan: Line 66: Objects nested more than 64 levels below the root\n");

    EXPECT_EQ(Refused({"designer", "show", FormFile("object F: TDataModule\n\x01\xff\n")}),
              "sorvan: Line 2: Unexpected character #1\n");
    EXPECT_EQ(
        Refused({"designer", "show", FormFile("object F: TDataModule\n  Tag = 'open\nend\n")}),
        "sorvan: Line 2: Unterminated string\n");
    Refused({"designer", "show",
             FormFile("object F: TDataModule\n  object X: T" + std::string(1000000, 'x') +
                      "\n  end\nend\n")});
    Refused({"designer", "show",
             FormFile("object F: TDataModule\n  object X: TDataModule\n  end\n  object x: "
                      "TDataModule\n  end\nend\n")});
    EXPECT_EQ(Refused({"designer", "show", "/dev/zero"}),
              "sorvan: Cannot read file /dev/zero: larger than the 16 MiB a form file may hold\n");
}

TEST_F(DesignerCli, NewFormRefusesSettingsThatWouldAddToTheFormInOneLine) {
    const std::string file = (folder / "new.sfm").string();
    Refused({"designer", "new-form", file, "--drop", "TDataModule:Inner", "--set",
             "Inner.Tag=1\n  object X: TDataModule\n  end"});
    Refused({"designer", "new-form", file, "--drop", "TDataModule:Inner", "--set",
             "Inner.Tag\nobject X: TDataModule\nend\nTag=1"});
    Refused({"designer", "new-form", file, "--drop", "TNo\nSuch"});
    EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
