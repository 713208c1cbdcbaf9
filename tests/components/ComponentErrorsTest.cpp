// LastError, LastErrorText, FileError and FileErrorText: why a component is
// not open, capturing or playing, or records without its file.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "CaptureFixture.h"
#include "PlaybackFixture.h"

namespace {

TEST_F(PlaybackTest, AFailedOpenTellsWhyAndTheNextOpenStartsClean) {
    EXPECT_EQ(out->LastError(), MMSYSERR_NOERROR);
    out->SetWantedDev(wvDevice5);
    EXPECT_FALSE(out->open());
    EXPECT_EQ(out->LastError(), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(out->LastErrorText(), "A device ID has been used that is out of range for your system.");

    out->SetWantedDev(wvMapper);
    out->SetBits(12);
    EXPECT_FALSE(out->open());
    EXPECT_EQ(out->LastError(), WAVERR_BADFORMAT);

    out->SetBits(8);
    Open();
    EXPECT_EQ(out->LastError(), MMSYSERR_NOERROR);
}

TEST_F(PlaybackTest, ABlockTheDeviceRefusesTellsWhyAndBadArgumentsChangeNothing) {
    Open();
    sim::failNext(Fn::waveOutWrite, MMSYSERR_NOMEM);
    const Bytes block = Block(16, 0);
    Queue(block);
    EXPECT_EQ(out->LastError(), MMSYSERR_NOMEM);

    // Refused before any device call: the last device failure still stands.
    EXPECT_FALSE(out->playback(block.data(), -1));
    EXPECT_EQ(out->LastError(), MMSYSERR_NOMEM);
    out->close();
    Pump();
}

TEST_F(PlaybackTest, AFailedVolumeQueryTellsWhy) {
    sim::failNext(Fn::waveOutGetVolume, MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(out->GetVolume(), 0);
    EXPECT_EQ(out->LastError(), MMSYSERR_NOTSUPPORTED);
    EXPECT_NE(out->LastErrorText().find("not supported"), std::string::npos);
}

TEST_F(CaptureTest, AStartThatFailsLeavesTheDeviceOpenAndSaysWhy) {
    sim::failNext(Fn::waveInStart, MMSYSERR_NOMEM);
    in->open();
    EXPECT_TRUE(in->IsOpen());
    EXPECT_FALSE(in->IsCapturing());
    EXPECT_EQ(in->LastError(), MMSYSERR_NOMEM);
    EXPECT_NE(in->LastErrorText().find("not enough memory"), std::string::npos);
    in->close();
    Pump();
}

TEST_F(CaptureTest, OfTwoFailuresInOneCloseTheLaterIsReported) {
    in->open();
    Pump();
    sim::failNext(Fn::waveInStop, MMSYSERR_ERROR);
    sim::failNext(Fn::waveInClose, WAVERR_STILLPLAYING);
    in->close();
    EXPECT_TRUE(in->IsOpen());
    EXPECT_EQ(in->LastError(), WAVERR_STILLPLAYING);

    // The device is still open, so open is refused and the reason stays.
    in->open();
    EXPECT_EQ(in->LastError(), WAVERR_STILLPLAYING);
    in->close();
    EXPECT_FALSE(in->IsOpen());
    Pump();
}

TEST_F(CaptureTest, AnInputThatCannotTakeTheFormatSaysSo) {
    in->SetChannels(3);
    in->open();
    EXPECT_FALSE(in->IsOpen());
    EXPECT_EQ(in->LastError(), WAVERR_BADFORMAT);
}

TEST_F(CaptureTest, ARecordingFileThatCannotBeCreatedSaysWhyAndTheNextOneStartsClean) {
    const auto folder = std::filesystem::temp_directory_path() / "sorvan-file-error-test";
    std::filesystem::remove_all(folder);
    in->SetFileName((folder / "take.wav").string());
    in->open();
    Pump();
    Record(1s);
    EXPECT_FALSE(delivered.empty()) << "the recording goes on without its file";
    in->close();
    Pump();
    EXPECT_EQ(in->FileError(), ENOENT);
    EXPECT_EQ(in->FileErrorText(), std::generic_category().message(ENOENT));

    std::filesystem::create_directory(folder);
    in->open();
    Pump();
    Record(1s);
    in->close();
    Pump();
    EXPECT_EQ(in->FileError(), 0);
    EXPECT_EQ(in->FileErrorText(), "");
    EXPECT_TRUE(std::filesystem::exists(folder / "take.wav"));
    std::filesystem::remove_all(folder);
}

}  // namespace
