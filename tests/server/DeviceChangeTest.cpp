// sorvan devices --watch on the sound server: a sink loaded while it watches
// brings a second listing with the sink, and Ctrl-C ends the watch cleanly.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <thread>

#include "../tools/CliRunner.h"
#include "SoundServer.h"

namespace servertest {
namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

TEST(DevicesWatch, ASinkLoadedMeanwhileIsListedAgainAndCtrlCEndsTheWatch) {
    static const std::string unavailable = UseServer();
    if (!unavailable.empty()) GTEST_SKIP() << unavailable;
    TempFolder folder;
    RunningSorvan watching({"devices", "--watch"}, folder.path(), {{"SORVAN_AUDIO", "pulse"}});
    // The first listing asks every device what it takes: it is let finish.
    std::this_thread::sleep_for(2s);
    const std::string module = Pactl(
        "load-module module-null-sink sink_name=WatchedSink "
        "sink_properties=device.description=WatchedSink");
    std::this_thread::sleep_for(1500ms);
    watching.Signal(SIGINT);
    const CliResult result = watching.Wait(std::chrono::seconds(10));
    Pactl("unload-module " + module);

    EXPECT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(Count(result.out, "Output devices:"), 2u) << result.out;
    const auto second = result.out.rfind("Audio driver:");
    EXPECT_EQ(result.out.substr(0, second).find("WatchedSink"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("WatchedSink", second), std::string::npos) << result.out;
}

}  // namespace
}  // namespace servertest
