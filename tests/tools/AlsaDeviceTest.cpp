// The program on ALSA test PCMs: what 'devices' shows of each, the ALSA
// names -D takes beyond the list, and what 'volume' says of a PCM without
// a mixer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "CliRunner.h"

#ifdef SORVAN_ALSA_TEST_PCM
namespace {

// SORVAN_AUDIO=alsa on a configuration of test PCMs: `pcms` after the type.
EnvVars AlsaWith(const TempFolder& folder, const std::string& pcms) {
    const std::string config = "pcm_type.sorvan_test { lib \"" SORVAN_ALSA_TEST_PCM "\" }\n" + pcms;
    const auto path = folder / "asound.conf";
    WriteBytes(path, std::vector<std::byte>(reinterpret_cast<const std::byte*>(config.data()),
                                            reinterpret_cast<const std::byte*>(config.data()) +
                                                config.size()));
    return {{"SORVAN_AUDIO", "alsa"}, {"ALSA_CONFIG_PATH", path.string()}};
}

std::string Hinted(const std::string& name, const std::string& body) {
    return "pcm." + name + " { type sorvan_test " + body + " hint { description \"" + name +
           "\" } }\n";
}

// The lines of one section of 'sorvan devices' ("Input devices:").
std::vector<std::string> Section(const std::string& out, const std::string& title) {
    std::vector<std::string> lines;
    std::istringstream text(out.substr(out.find(title) + title.size() + 1));
    for (std::string line; std::getline(text, line) && line.starts_with("  ");)
        lines.push_back(line);
    return lines;
}

// Devices past the components' ten show their ranges as the first ones do,
// a held device says busy wherever it is listed, and the columns line up.
TEST(AlsaDevices, EveryDeviceShowsWhatItTakesAndBusyOnesSayBusy) {
    TempFolder folder;
    std::string pcms = "pcm.!default { type sorvan_test }\n";
    for (int card = 1; card <= 11; ++card) pcms += Hinted("card" + std::to_string(card), "");
    pcms += Hinted("taken", "busy true");
    const CliResult devices = RunSorvan({"devices"}, folder.path(), AlsaWith(folder, pcms));
    ASSERT_EQ(devices.exitCode, 0) << devices.err;
    for (const std::string title : {"Input devices:", "Output devices:"}) {
        const auto lines = Section(devices.out, title);
        ASSERT_EQ(lines.size(), 13u) << devices.out;
        for (std::size_t number = 0; number < 12; ++number) {
            EXPECT_NE(lines[number].find("1-8 ch, 8000-192000 Hz, 8/16/24/32-bit"),
                      std::string::npos)
                << lines[number];
            EXPECT_EQ(lines[number].find("[busy]"), std::string::npos) << lines[number];
        }
        EXPECT_NE(lines[12].find("  12  \"taken\""), std::string::npos) << lines[12];
        EXPECT_NE(lines[12].find("[busy]"), std::string::npos) << lines[12];
        EXPECT_EQ(lines[12].find(" ch,"), std::string::npos)
            << "what a held device takes cannot be known: " << lines[12];
        // Names, formats and volume controls each start in one column.
        for (const std::string column : {"\"", "volume", "[busy]"}) {
            if (column == "volume" && title == "Input devices:") continue;
            const auto at = lines[12].find(column);
            for (const auto& line : lines) {
                if (line.find(column) != std::string::npos) {
                    EXPECT_EQ(line.find(column), at) << column << " in\n" << devices.out;
                }
            }
        }
        EXPECT_EQ(lines[2].find("1-8"), lines[12].find("(formats")) << devices.out;
    }
}

// The alsa driver lists no "default" that does not open; a busy one is
// still named busy, with or without other devices, and never silently
// replaced by another device.
TEST(AlsaDevices, ABusyDefaultIsListedAsBusy) {
    TempFolder folder;
    const std::string busyDefault = "pcm.!default { type sorvan_test busy true }\n";
    const CliResult alone =
        RunSorvan({"devices"}, folder.path(), AlsaWith(folder, busyDefault));
    EXPECT_EQ(alone.exitCode, 0) << alone.err;
    EXPECT_NE(alone.out.find("Input devices:\n  (none; ALSA's \"default\" is busy (another "
                             "program is using it))\n"),
              std::string::npos)
        << alone.out;
    const CliResult beside =
        RunSorvan({"devices"}, folder.path(), AlsaWith(folder, busyDefault + Hinted("mic", "")));
    EXPECT_NE(beside.out.find("(ALSA's \"default\" is busy (another program is using it), so "
                              "device 0 stands in for it)"),
              std::string::npos)
        << beside.out;
    // Recording with no device named takes the first listed, and says so;
    // "default" named is refused.
    const CliResult standIn = RunSorvan({"record", "-d", "0.1", "s.wav"}, folder.path(),
                                        AlsaWith(folder, busyDefault + Hinted("mic", "")));
    EXPECT_EQ(standIn.exitCode, 0) << standIn.err;
    EXPECT_EQ(standIn.err,
              "sorvan: warning: ALSA's \"default\" is busy (another program is using it); using "
              "input device 0 \"mic\" instead\n");
    const CliResult named = RunSorvan({"record", "-D", "default", "-d", "0.1", "d.wav"},
                                      folder.path(), AlsaWith(folder, busyDefault + Hinted("mic", "")));
    EXPECT_EQ(named.exitCode, 1);
    EXPECT_EQ(named.err, "sorvan: ALSA's \"default\" is busy (another program is using it)\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "d.wav"));

    // Left to choose, the program never falls back on the virtual devices: it
    // fails, and says why (the default is there, but busy).
    // No sound server either: each driver's reason is given.
    const EnvVars automatic{{"SORVAN_AUDIO", ""},
                            {"PULSE_SERVER", "unix:" + (folder / "no-server").string()},
                            AlsaWith(folder, busyDefault).back()};
    const CliResult fallback = RunSorvan({"record", "-d", "0.1", "f.wav"}, folder.path(), automatic);
    EXPECT_EQ(fallback.exitCode, 1);
    EXPECT_EQ(fallback.err.rfind("sorvan: no sound device was found: ", 0), 0u) << fallback.err;
    EXPECT_NE(fallback.err.find("ALSA's \"default\" is busy (another program is using it); "
                                "SORVAN_AUDIO=sim uses the built-in virtual devices\n"),
              std::string::npos)
        << fallback.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "f.wav"));
    const CliResult listing = RunSorvan({"devices"}, folder.path(), automatic);
    EXPECT_NE(listing.out.find("Audio driver: none (no sound device was found: "), std::string::npos)
        << listing.out;
    EXPECT_NE(listing.out.find("ALSA's \"default\" is busy"), std::string::npos) << listing.out;

    const CliResult free = RunSorvan(
        {"devices"}, folder.path(), AlsaWith(folder, "pcm.!default { type sorvan_test }\n"));
    EXPECT_EQ(free.out.find("busy"), std::string::npos) << free.out;
}

// Any name ALSA opens goes to -D, listed or not (a PCM without a hint, a
// plug:SLAVE name); one that does not open is one clear line and no file.
TEST(AlsaDevices, AnyAlsaNameOpensThoughTheListLeavesItOut) {
    TempFolder folder;
    const EnvVars alsa = AlsaWith(
        folder, "pcm.!default { type sorvan_test }\n" + Hinted("mic", "") +
                    Hinted("taken", "busy true") + "pcm.hidden { type sorvan_test }\n" +
                    // As the system's configuration defines plug:SLAVE.
                    "pcm.plug { @args [ SLAVE ] @args.SLAVE { type string } type plug slave.pcm "
                    "$SLAVE }\n");
    const CliResult listed = RunSorvan({"devices"}, folder.path(), alsa);
    ASSERT_EQ(listed.out.find("hidden"), std::string::npos) << listed.out;

    const CliResult plug =
        RunSorvan({"record", "-D", "plug:mic", "-d", "0.2", "p.wav"}, folder.path(), alsa);
    EXPECT_EQ(plug.exitCode, 0) << plug.err;
    EXPECT_NE(plug.out.find("from input device 3 \"plug:mic\""), std::string::npos) << plug.out;
    EXPECT_TRUE(std::filesystem::exists(folder / "p.wav"));
    const CliResult hidden = RunSorvan({"play", "-D", "hidden", "p.wav"}, folder.path(), alsa);
    EXPECT_EQ(hidden.exitCode, 0) << hidden.err;
    EXPECT_NE(hidden.out.find("\"hidden\""), std::string::npos) << hidden.out;

    const CliResult missing =
        RunSorvan({"record", "-D", "plughw:7", "-d", "0.2", "m.wav"}, folder.path(), alsa);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err,
              "sorvan: there is no input device named 'plughw:7' that ALSA can open (see "
              "'sorvan devices')\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "m.wav"));
    const CliResult busy =
        RunSorvan({"record", "-D", "plug:taken", "-d", "0.2", "b.wav"}, folder.path(), alsa);
    EXPECT_EQ(busy.exitCode, 1);
    EXPECT_NE(busy.err.find("is busy"), std::string::npos) << busy.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "b.wav"));

    // A PCM whose library prints lines of its own when it cannot open (jack
    // without a server, where the plug-in is installed) still gives one line.
    TempFolder jackFolder;
    const CliResult jack = RunSorvan(
        {"play", "-D", "j", (folder / "p.wav").string()}, jackFolder.path(),
        AlsaWith(jackFolder, "pcm.j { type jack playback_ports { 0 system:playback_1 } }\n"));
    EXPECT_EQ(jack.exitCode, 1);
    EXPECT_TRUE(jack.err.starts_with("sorvan: ")) << jack.err;
    EXPECT_EQ(std::count(jack.err.begin(), jack.err.end(), '\n'), 1) << jack.err;

    // Nothing listed at all: the name still opens.
    TempFolder bare;
    const EnvVars unlisted = AlsaWith(bare, "pcm.hidden { type sorvan_test }\n");
    const CliResult alone =
        RunSorvan({"record", "-D", "hidden", "-d", "0.2", "h.wav"}, bare.path(), unlisted);
    EXPECT_EQ(alone.exitCode, 0) << alone.err;
    const CliResult none = RunSorvan({"record", "-d", "0.2", "n.wav"}, bare.path(), unlisted);
    EXPECT_EQ(none.err, "sorvan: this machine has no input device\n");
}

// The test PCMs have no mixer: the driver scales the samples itself, so a
// volume set by 'sorvan volume' is gone when it ends, and it says so.
TEST(AlsaDevices, VolumeSaysASettingWithoutAMixerEndsWithTheProgram) {
    TempFolder folder;
    const EnvVars alsa = AlsaWith(folder, "pcm.!default { type sorvan_test }\n" +
                                              Hinted("speaker", "") +
                                              "pcm.hidden { type sorvan_test }\n");
    for (const std::string device : {"default", "speaker", "hidden"}) {
        const CliResult set = RunSorvan({"volume", "-D", device, "30"}, folder.path(), alsa);
        EXPECT_EQ(set.exitCode, 0) << set.err;
        EXPECT_NE(set.out.find("volume 30 %"), std::string::npos) << set.out;
        EXPECT_NE(set.out.find("gone when this program ends"), std::string::npos) << set.out;
    }
    const CliResult read = RunSorvan({"volume"}, folder.path(), alsa);
    EXPECT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(read.out.find("gone when"), std::string::npos) << "nothing was set: " << read.out;
}

}  // namespace
#endif
