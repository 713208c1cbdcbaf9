// What the program says, as a user reads it: examples in every command's
// help for the habits arecord, aplay and sox users bring, and one second
// called "1 second".
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "CliRunner.h"

namespace {

TEST(Help, EveryCommandShowsExamplesOfTheHabitsItServes) {
    TempFolder folder;
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        {"record",
         {"-f cd", "-f dat", "-f S16_LE", "-t raw", "-r 48k", "-d 1:30", "-d 250ms", "-D 1",
          "-D plughw:1", " - |", "-q", "--force", "--max-file-time"}},
        {"play", {"intro.flac song.ogg", "play -", "-D 1", "-D plughw:0", "--volume 50", "-q"}},
        {"volume", {"volume 50", "raw:"}},
        {"devices", {"sorvan devices", "SORVAN_AUDIO=alsa"}},
        {"repair", {"sorvan repair take.wav"}},
        {"demo", {"sorvan demo -d 500ms"}},
        {"designer", {"designer package", "designer new-form", "designer show"}},
    };
    for (const auto& [command, habits] : expected) {
        const CliResult help = RunSorvan({command, "--help"}, folder.path());
        EXPECT_EQ(help.exitCode, 0) << command;
        const auto examples = help.out.find("Examples:");
        ASSERT_NE(examples, std::string::npos) << command << ":\n" << help.out;
        for (const auto& habit : habits) {
            EXPECT_NE(help.out.find(habit, examples), std::string::npos)
                << command << " --help shows no example of '" << habit << "':\n"
                << help.out;
        }
    }
    const CliResult device = RunSorvan({"record", "--help"}, folder.path());
    EXPECT_NE(device.out.find("'aplay -L'"), std::string::npos)
        << "-D takes the names aplay lists:\n" << device.out;
}

TEST(Wording, OneSecondIsSingular) {
    TempFolder folder;
    const CliResult demo = RunSorvan({"demo", "-d", "1"}, folder.path());
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    EXPECT_NE(demo.out.find("Recording 1 second from"), std::string::npos) << demo.out;
    const CliResult record = RunSorvan({"record", "-d", "1s", "one.wav"}, folder.path());
    ASSERT_EQ(record.exitCode, 0) << record.err;
    const CliResult play = RunSorvan({"play", "one.wav"}, folder.path());
    ASSERT_EQ(play.exitCode, 0) << play.err;
    const CliResult tooLong = RunSorvan({"demo", "-d", "61"}, folder.path());
    EXPECT_NE(tooLong.err.find("at most 60 seconds"), std::string::npos) << tooLong.err;
    for (const CliResult* run : {&demo, &record, &play, &tooLong}) {
        EXPECT_EQ((run->out + run->err).find("1 seconds"), std::string::npos)
            << run->out << run->err;
    }
}

}  // namespace
