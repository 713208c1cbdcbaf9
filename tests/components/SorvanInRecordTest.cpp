// TSorvanIn's recording file: created on the open notification, grown by
// every delivered buffer, completed on the close notification or on
// destruction, and read back by libsndfile and sox.
#include "CaptureFixture.h"
#include "WaveFiles.h"

namespace {

using namespace wavefiles;

const std::vector<std::uint8_t> DefaultHeader = {
    0x52, 0x49, 0x46, 0x46, 0x00, 0x00, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6d, 0x74,
    0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x40, 0x1f, 0x00, 0x00, 0x40, 0x1f,
    0x00, 0x00, 0x01, 0x00, 0x08, 0x00, 0x64, 0x61, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00};

class RecordTest : public CaptureTest {
  protected:
    std::vector<char> DeliveredData() const {
        std::vector<char> all;
        for (const auto& d : delivered) all.insert(all.end(), d.begin(), d.end());
        return all;
    }

    // The file is complete and holds exactly the bytes OnData received.
    void ExpectCompleteRecording(const std::filesystem::path& file) const {
        const auto data = DeliveredData();
        const auto bytes = Bytes(file);
        ASSERT_EQ(bytes.size(), WavHeaderSize + data.size());
        EXPECT_EQ(U32(bytes, 40), data.size());
        EXPECT_EQ(U32(bytes, 4), data.size() + 36);
        const auto read = ReadWithSndfile(file);
        ASSERT_TRUE(read.has_value()) << sf_strerror(nullptr);
        EXPECT_EQ(read->data, data);
    }

    ScratchFolder folder;
    const std::filesystem::path take = folder / "take.wav";
};

}  // namespace

TEST_F(RecordTest, FileIsCreatedOnTheOpenNotificationWithTheDefaultHeader) {
    in->SetFileName(take);
    in->open();
    EXPECT_FALSE(std::filesystem::exists(take));
    bool existedAtOnOpen = false;
    in->OnOpen = [&](TObject*) { existedAtOnOpen = std::filesystem::exists(take); };
    Pump();
    EXPECT_TRUE(existedAtOnOpen);
    EXPECT_EQ(Bytes(take), DefaultHeader);
}

TEST_F(RecordTest, CloseNotificationCompletesTheFileBeforeOnClose) {
    in->SetFileName(take);
    in->open();
    Pump();
    for (int i = 0; i < 3; ++i) Record(256ms);  // 2048 bytes each
    ASSERT_EQ(delivered.size(), 3u);
    in->close();
    EXPECT_EQ(U32(Bytes(take), 40), 0u) << "completed before the close notification";

    std::vector<std::uint8_t> atOnClose;
    in->OnClose = [&](TObject*) { atOnClose = Bytes(take); };
    Pump();
    ASSERT_EQ(atOnClose.size(), 44u + 3 * 2048);
    EXPECT_EQ(U32(atOnClose, 40), 3u * 2048);
    EXPECT_EQ(U32(atOnClose, 4), 3u * 2048 + 36);
    ExpectCompleteRecording(take);
    if (!SoxiAvailable()) GTEST_SKIP() << "soxi not found at configure time";
    EXPECT_EQ(SoxiSamples(take), 3 * 2048);
}

TEST_F(RecordTest, HeaderDescribesTheFormatTheDeviceRecordsIn) {
    in->SetFileName(take);
    in->SetWantedDev(wvDevice1);
    in->SetChannels(2);
    in->SetBits(16);
    in->SetSamples(11025);
    in->SetInBuffSize(64);
    in->open();
    in->SetSamples(22050);  // after open: changes nothing until the next open
    in->SetBits(8);
    Pump();
    for (int i = 0; i < 4; ++i) Record(2ms);
    in->close();
    Pump();

    ASSERT_FALSE(delivered.empty());
    const auto bytes = Bytes(take);
    EXPECT_EQ(U16(bytes, 22), 2);
    EXPECT_EQ(U32(bytes, 24), 11025u);
    EXPECT_EQ(U32(bytes, 28), 4u * 11025);
    EXPECT_EQ(U16(bytes, 32), 4);
    EXPECT_EQ(U16(bytes, 34), 16);
    ExpectCompleteRecording(take);
}

TEST_F(RecordTest, DestructionCompletesTheFileWithoutOnClose) {
    in->SetFileName(take);
    in->SetInBuffSize(16);
    in->open();
    Pump();
    for (int i = 0; i < 3; ++i) Record(2ms);
    in.reset();
    Pump();
    EXPECT_EQ(closes, 0);
    ASSERT_EQ(delivered.size(), 3u);
    ExpectCompleteRecording(take);
}

TEST_F(RecordTest, CloseBeforeAnyDataLeavesAnEmptyValidFile) {
    in->SetFileName(take);
    in->open();
    Pump();
    in->close();
    Pump();
    const auto bytes = Bytes(take);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(U32(bytes, 40), 0u);
    EXPECT_EQ(U32(bytes, 4), 36u);
    if (!SoxiAvailable()) GTEST_SKIP() << "soxi not found at configure time";
    EXPECT_EQ(SoxiSamples(take), 0);
}

TEST_F(RecordTest, EmptyBuffersAddNothingToTheFile) {
    in->SetFileName(take);
    in->SetInBuffSize(16);
    in->open();
    Pump();
    Record(1ms);
    waveInReset(in->DeviceID());  // the partial buffer comes back with 8 bytes, the other with 0
    Pump();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].size(), 8u);
    in->close();
    Pump();
    ExpectCompleteRecording(take);
}

TEST_F(RecordTest, NewFileNameWaitsUntilTheDeviceIsClosed) {
    const auto other = folder / "other.wav";
    in->SetFileName(take);
    in->open();
    in->SetFileName(other);
    EXPECT_EQ(in->FileName(), take.string());
    Pump();
    in->close();
    Pump();
    EXPECT_TRUE(std::filesystem::exists(take));
    EXPECT_FALSE(std::filesystem::exists(other));

    in->SetFileName(other);
    EXPECT_EQ(in->FileName(), other.string());
    in->open();
    Pump();
    in->close();
    Pump();
    EXPECT_EQ(Bytes(other).size(), 44u);
}

TEST_F(RecordTest, ExistingFileIsReplaced) {
    std::ofstream(take) << std::string(50000, 'x');
    in->SetFileName(take);
    in->SetInBuffSize(16);
    in->open();
    Pump();
    Record(2ms);
    in->close();
    Pump();
    ExpectCompleteRecording(take);
}

TEST_F(RecordTest, MissingFolderGivesNoFileAndNormalCapture) {
    const auto nowhere = folder / "no-such-folder" / "take.wav";
    in->SetFileName(nowhere);
    in->SetInBuffSize(16);
    in->open();
    Pump();
    Record(2ms);
    in->close();
    Pump();
    EXPECT_FALSE(std::filesystem::exists(nowhere));
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(delivered.size(), 1u);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(exceptions, 0);
}

TEST_F(RecordTest, CloseThenOpenCompletesTheFirstFileBeforeCreatingTheNext) {
    in->SetFileName(take);
    in->open();
    Pump();
    Record(256ms);
    ASSERT_EQ(delivered.size(), 1u);
    in->close();
    in->open();

    std::vector<std::uint8_t> atOnClose;
    in->OnClose = [&](TObject*) { atOnClose = Bytes(take); };
    Pump();
    ASSERT_EQ(atOnClose.size(), 44u + 2048);
    EXPECT_EQ(U32(atOnClose, 40), 2048u);
    EXPECT_EQ(U32(atOnClose, 4), 2048u + 36);
    EXPECT_EQ(Bytes(take), DefaultHeader) << "the second recording replaces the first";
}

TEST_F(RecordTest, CloseWAVFileWhileCapturingCompletesTheFileAtOnce) {
    in->SetFileName(take);
    in->SetInBuffSize(16);
    in->open();
    Pump();
    Record(2ms);
    in->CloseWAVFile();
    const auto recorded = DeliveredData();
    Record(2ms);
    EXPECT_EQ(delivered.size(), 2u) << "capture goes on";
    in->close();
    Pump();
    ASSERT_EQ(Bytes(take).size(), WavHeaderSize + recorded.size());
    const auto read = ReadWithSndfile(take);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->data, recorded);
}

TEST_F(RecordTest, FullDiskKeepsTheFileValidAndCaptureGoing) {
    in->SetFileName(take);
    in->open();
    {
        FileSizeLimit limit(WavHeaderSize + 3000);
        Pump();
        for (int i = 0; i < 3; ++i) Record(256ms);
        in->close();
        Pump();
    }
    EXPECT_EQ(delivered.size(), 3u);
    EXPECT_EQ(closes, 1);
    const auto bytes = Bytes(take);
    ASSERT_EQ(bytes.size(), 44u + 3000);
    EXPECT_EQ(U32(bytes, 40), 3000u);
    EXPECT_EQ(U32(bytes, 4), 3036u);
    const auto read = ReadWithSndfile(take);
    ASSERT_TRUE(read.has_value());
    const auto data = DeliveredData();
    EXPECT_EQ(read->data, std::vector<char>(data.begin(), data.begin() + 3000));
}
