// TSorvanIn on virtual devices: the calls it makes and their order, the flags
// of each state, the buffer cycle and notifications that are no longer its own.
#include <sys/resource.h>

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "CaptureFixture.h"

namespace {

using Names = std::vector<std::string>;

const WAVEHDR* HeaderOf(const sim::LoggedCall& c) {
    return c.call.header;
}

// Every header the open notification prepared, in slot order.
std::vector<const WAVEHDR*> QueuedSlots() {
    std::vector<const WAVEHDR*> slots;
    for (const auto& c : sim::calls(Fn::waveInPrepareHeader)) slots.push_back(HeaderOf(c));
    return slots;
}

bool IsRamp(const std::vector<std::vector<char>>& buffers) {
    std::vector<unsigned char> bytes;
    for (const auto& b : buffers) bytes.insert(bytes.end(), b.begin(), b.end());
    for (std::size_t i = 1; i < bytes.size(); ++i) {
        if (bytes[i] != static_cast<unsigned char>(bytes[i - 1] + 1)) return false;
    }
    return true;
}

}  // namespace

TEST(SorvanInClass, PublishesItsPropertiesInOrderWithTheirDefaults) {
    const TClassInfo& info = TSorvanIn::StaticClass();
    Names names;
    for (const TPropInfo& p : info.Properties) names.push_back(p.Name);
    EXPECT_EQ(names, (Names{"capabilities", "FileName", "channels", "samples", "SampleBits",
                            "MaxBuffers", "BufferSize", "device", "DeviceID", "OnOpen", "OnData",
                            "OnClose", "OnDeviceChange"}));

    const TPropInfo& caps = *info.FindProperty("capabilities");
    EXPECT_EQ(caps.Kind, TTypeKind::tkSet);
    EXPECT_FALSE(caps.Stored);
    EXPECT_EQ(caps.EnumNames, (std::vector<std::string>{"icStereo"}));
    EXPECT_TRUE(info.FindProperty("DeviceID")->IsReadOnly());
    EXPECT_FALSE(info.FindProperty("DeviceID")->Stored);
    EXPECT_EQ(info.FindProperty("FileName")->StrDefault, "");
    EXPECT_EQ(info.FindProperty("channels")->OrdDefault, 1);
    EXPECT_EQ(info.FindProperty("samples")->OrdDefault, 8000);
    EXPECT_EQ(info.FindProperty("SampleBits")->OrdDefault, 8);
    EXPECT_EQ(info.FindProperty("MaxBuffers")->OrdDefault, 2);
    EXPECT_EQ(info.FindProperty("BufferSize")->OrdDefault, 2048);
    const TPropInfo& device = *info.FindProperty("device");
    EXPECT_EQ(device.Kind, TTypeKind::tkEnumeration);
    EXPECT_EQ(device.OrdDefault, 0);
    EXPECT_EQ(device.EnumNames.size(), 11u);
    EXPECT_EQ(device.EnumNames.back(), "wvDevice9");
    for (const char* event : {"OnOpen", "OnData", "OnClose", "OnDeviceChange"}) {
        EXPECT_EQ(info.FindProperty(event)->Kind, TTypeKind::tkMethod) << event;
    }
}

TEST(SorvanInClass, CreatesByClassWithItsOwnerAndClampsFormValues) {
    TComponent owner(nullptr);
    TComponent* created = TSorvanIn::StaticClass().Create(&owner);
    ASSERT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(owner.Components(0), created);
    auto& in = dynamic_cast<TSorvanIn&>(*created);
    EXPECT_EQ(&in.ClassType(), &TSorvanIn::StaticClass());

    const TClassInfo& info = TSorvanIn::StaticClass();
    EXPECT_EQ(info.FindProperty("DeviceID")->GetOrd(in), 0);
    info.FindProperty("MaxBuffers")->SetOrd(in, 1000);
    EXPECT_EQ(in.MaxBuffers(), 9);
    info.FindProperty("MaxBuffers")->SetOrd(in, -3);
    EXPECT_EQ(in.MaxBuffers(), 1);
    info.FindProperty("BufferSize")->SetOrd(in, std::int64_t{1} << 40);
    EXPECT_EQ(in.BufferSize(), std::numeric_limits<std::int32_t>::max());
    info.FindProperty("BufferSize")->SetOrd(in, 3);
    EXPECT_EQ(in.BufferSize(), 16);
}

TEST_F(CaptureTest, NewComponentHoldsItsDefaultsAndTouchesNoDevice) {
    EXPECT_EQ(in->channels(), 1);
    EXPECT_EQ(in->samples(), 8000);
    EXPECT_EQ(in->SampleBits(), 8);
    EXPECT_EQ(in->MaxBuffers(), 2);
    EXPECT_EQ(in->BufferSize(), 2048);
    EXPECT_EQ(in->device(), wvMapper);
    EXPECT_EQ(in->FileName(), "");
    EXPECT_EQ(in->DeviceID(), nullptr);
    EXPECT_FALSE(in->IsOpen());
    EXPECT_FALSE(in->IsCapturing());
    EXPECT_TRUE(sim::log().empty());
}

TEST_F(CaptureTest, BufferCountAndSizeAreKeptInTheirRanges) {
    in->SetMaxBuffers(0);
    EXPECT_EQ(in->MaxBuffers(), 1);
    in->SetMaxBuffers(10);
    EXPECT_EQ(in->MaxBuffers(), 9);
    in->SetInBuffSize(15);
    EXPECT_EQ(in->BufferSize(), 16);
    in->SetInBuffSize(-1);
    EXPECT_EQ(in->BufferSize(), 16);

    // The largest count fills every slot, each with its own header.
    in->SetMaxBuffers(255);
    in->open();
    Pump();
    auto slots = QueuedSlots();
    EXPECT_EQ(slots.size(), 9u);
    std::sort(slots.begin(), slots.end());
    EXPECT_EQ(std::unique(slots.begin(), slots.end()), slots.end());
}

TEST_F(CaptureTest, OpenPassesDeviceFormatAndWindowThenStarts) {
    in->SetWantedDev(wvDevice1);
    in->SetChannels(2);
    in->SetSamples(44100);
    in->SetBits(16);
    in->open();

    EXPECT_TRUE(in->IsOpen());
    EXPECT_TRUE(in->IsCapturing());
    EXPECT_EQ(opens, 0) << "OnOpen comes from the message loop only";
    const auto calls = sim::log();
    ASSERT_EQ(Called(calls), (Names{"waveInOpen", "waveInStart"}));
    const auto& open = calls[0].call;
    EXPECT_EQ(open.deviceId, 1u);
    EXPECT_EQ(open.flags, CALLBACK_WINDOW);
    EXPECT_EQ(open.instance, 0u);
    EXPECT_NE(open.callback, 0u);
    EXPECT_NE(Handle(), 0u);
    EXPECT_EQ(open.handle, Handle());
    ASSERT_TRUE(open.format.has_value());
    EXPECT_EQ(open.format->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(open.format->nChannels, 2);
    EXPECT_EQ(open.format->nSamplesPerSec, 44100u);
    EXPECT_EQ(open.format->nBlockAlign, 4);
    EXPECT_EQ(open.format->nAvgBytesPerSec, 176400u);
    EXPECT_EQ(open.format->wBitsPerSample, 16);
    EXPECT_EQ(open.format->cbSize, 0);
    EXPECT_EQ(calls[1].call.handle, Handle());

    Pump();
    EXPECT_EQ(opens, 1);
}

TEST_F(CaptureTest, MapperIsOpenedAsWaveMapper) {
    in->open();
    const auto opens = sim::calls(Fn::waveInOpen);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].call.deviceId, UINT_PTR{WAVE_MAPPER});
    EXPECT_EQ(opens[0].call.device, 0u);
}

TEST_F(CaptureTest, OpenNotificationQueuesEveryBufferBeforeOnOpen) {
    in->SetMaxBuffers(3);
    in->SetInBuffSize(64);
    in->open();
    sim::clearLog();
    std::size_t addsBeforeOnOpen = 0;
    in->OnOpen = [&](TObject*) { addsBeforeOnOpen = sim::calls(Fn::waveInAddBuffer).size(); };
    Pump();

    EXPECT_EQ(addsBeforeOnOpen, 3u);
    const auto calls = sim::log();
    ASSERT_EQ(Called(calls), (Names{"waveInPrepareHeader", "waveInAddBuffer", "waveInPrepareHeader",
                                    "waveInAddBuffer", "waveInPrepareHeader", "waveInAddBuffer"}));
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].call.handle, Handle());
        EXPECT_EQ(calls[i].call.size, sizeof(WAVEHDR));
        EXPECT_EQ(calls[i].result, MMSYSERR_NOERROR);
        EXPECT_EQ(calls[i].call.header->dwBufferLength, 64u);
        if (i % 2 == 1) {
            EXPECT_EQ(calls[i].call.header, calls[i - 1].call.header);
        }
    }
}

TEST_F(CaptureTest, EveryFilledBufferReachesOnDataAndGoesBack) {
    in->SetInBuffSize(16);
    in->open();
    Pump();
    sim::clearLog();
    std::vector<char*> pointers;
    in->OnData = [&](TObject*, char* data, std::int32_t size) {
        pointers.push_back(data);
        delivered.emplace_back(data, data + size);
    };

    Record(2ms);  // 16 bytes at 8000 bytes per second: one buffer
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].size(), 16u);
    const auto calls = sim::log();
    ASSERT_EQ(Called(calls), (Names{"waveInPrepareHeader", "waveInAddBuffer"}));
    EXPECT_EQ(calls[0].call.header->lpData, pointers[0]);
    EXPECT_EQ(calls[1].call.header, calls[0].call.header);
    EXPECT_EQ(calls[1].call.size, sizeof(WAVEHDR));

    for (int i = 0; i < 20; ++i) Record(2ms);
    EXPECT_EQ(delivered.size(), 21u);
    EXPECT_TRUE(IsRamp(delivered)) << "bytes lost, repeated or reordered";
    EXPECT_EQ(exceptions, 0);
}

TEST_F(CaptureTest, SingleBufferCirculatesOverAndOver) {
    in->SetMaxBuffers(1);
    in->SetInBuffSize(16);
    std::vector<char*> pointers;
    in->OnData = [&](TObject*, char* data, std::int32_t size) {
        pointers.push_back(data);
        delivered.emplace_back(data, data + size);
    };
    in->open();
    Pump();
    for (int i = 0; i < 5; ++i) Record(2ms);

    ASSERT_EQ(pointers.size(), 5u);
    EXPECT_TRUE(
        std::all_of(pointers.begin(), pointers.end(), [&](char* p) { return p == pointers[0]; }));
    EXPECT_TRUE(IsRamp(delivered));
}

TEST_F(CaptureTest, EmptyBufferFiresNothingButGoesBack) {
    in->SetInBuffSize(16);
    in->open();
    Pump();
    sim::clearLog();
    // Someone resets the device: both queued buffers come back with 0 bytes.
    waveInReset(in->DeviceID());
    Pump();

    EXPECT_TRUE(delivered.empty());
    EXPECT_EQ(Called(CallsOn(Handle())),
              (Names{"waveInReset", "waveInPrepareHeader", "waveInAddBuffer", "waveInPrepareHeader",
                     "waveInAddBuffer"}));
    waveInStart(in->DeviceID());
    Record(2ms);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].size(), 16u);
}

TEST_F(CaptureTest, CloseStopsResetsReleasesLastSlotFirstAndCloses) {
    in->SetMaxBuffers(3);
    in->SetInBuffSize(16);
    in->open();
    Pump();
    const auto slots = QueuedSlots();
    Record(1ms);  // half a buffer stays in the device
    sim::clearLog();

    in->close();
    EXPECT_FALSE(in->IsOpen());
    EXPECT_FALSE(in->IsCapturing());
    const auto calls = sim::log();
    ASSERT_EQ(Called(calls),
              (Names{"waveInStop", "waveInReset", "waveInUnprepareHeader", "waveInUnprepareHeader",
                     "waveInUnprepareHeader", "waveInClose"}));
    for (const auto& c : calls) EXPECT_EQ(c.call.handle, Handle());
    EXPECT_EQ(calls[2].call.header, slots[2]);
    EXPECT_EQ(calls[3].call.header, slots[1]);
    EXPECT_EQ(calls[4].call.header, slots[0]);
    for (int i = 2; i <= 4; ++i) {
        EXPECT_EQ(calls[i].call.size, sizeof(WAVEHDR));
        EXPECT_EQ(calls[i].result, MMSYSERR_NOERROR) << "buffer still queued when released";
    }

    EXPECT_EQ(closes, 0) << "OnClose comes from the message loop only";
    Pump();
    EXPECT_TRUE(delivered.empty()) << "bytes returned by the stop and the reset are dropped";
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(sim::log().size(), calls.size());
}

TEST_F(CaptureTest, CloseOfAClosedComponentDoesNothing) {
    in->close();
    Pump();
    EXPECT_TRUE(sim::log().empty());
    EXPECT_EQ(opens + closes, 0);

    in->open();
    Pump();
    in->close();
    sim::clearLog();
    in->close();
    Pump();
    EXPECT_TRUE(sim::log().empty());
    EXPECT_EQ(closes, 1);
}

TEST_F(CaptureTest, RefusedOpenLeavesEverythingClosedAndQuiet) {
    in->SetWantedDev(wvDevice3);  // no such device
    in->open();
    EXPECT_FALSE(in->IsOpen());
    EXPECT_FALSE(in->IsCapturing());

    in->SetWantedDev(wvDevice0);
    in->SetBits(12);  // a format the device refuses
    in->open();
    EXPECT_FALSE(in->IsOpen());
    EXPECT_FALSE(in->IsCapturing());

    // A closed handle left in DeviceID from an earlier recording is not started either.
    in->SetBits(8);
    in->open();
    Pump();
    in->close();
    Pump();
    const HWAVEIN last = in->DeviceID();
    in->SetBits(12);
    sim::clearLog();
    in->open();
    EXPECT_EQ(Called(sim::log()), (Names{"waveInOpen"}));
    EXPECT_EQ(in->DeviceID(), last);
    Pump();
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(delivered.empty());
}

TEST_F(CaptureTest, FailedStartStillQueuesAndCloseGetsTheBuffersBack) {
    sim::failNext(Fn::waveInStart, MMSYSERR_ERROR);
    in->SetInBuffSize(16);
    in->open();
    EXPECT_TRUE(in->IsOpen());
    EXPECT_FALSE(in->IsCapturing());
    Pump();
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(sim::calls(Fn::waveInAddBuffer).size(), 2u);
    Record(10ms);
    EXPECT_TRUE(delivered.empty());

    sim::clearLog();
    in->close();
    const auto calls = sim::log();
    EXPECT_EQ(Called(calls), (Names{"waveInReset", "waveInUnprepareHeader", "waveInUnprepareHeader",
                                    "waveInClose"}));
    for (const auto& c : calls) EXPECT_EQ(c.result, MMSYSERR_NOERROR);
    EXPECT_FALSE(in->IsOpen());
    Pump();
    EXPECT_TRUE(delivered.empty());
    EXPECT_EQ(closes, 1);
}

TEST_F(CaptureTest, FailedStopLeavesCapturingSetAndIsRepeatedByTheNextClose) {
    in->open();
    Pump();
    sim::failNext(Fn::waveInStop, MMSYSERR_ERROR);
    sim::clearLog();
    in->close();
    EXPECT_TRUE(in->IsCapturing());
    EXPECT_FALSE(in->IsOpen());
    EXPECT_EQ(Called(sim::log()), (Names{"waveInStop", "waveInReset", "waveInUnprepareHeader",
                                         "waveInUnprepareHeader", "waveInClose"}));

    sim::clearLog();
    in->close();
    EXPECT_EQ(Called(sim::log()), (Names{"waveInStop", "waveInReset"}));
}

TEST_F(CaptureTest, FailedDeviceCloseKeepsOpenSetAndDropsTheReturnedBuffers) {
    in->SetInBuffSize(16);
    in->open();
    Pump();
    Record(1ms);
    sim::failNext(Fn::waveInClose, MMSYSERR_ERROR);
    sim::clearLog();
    in->close();
    EXPECT_TRUE(in->IsOpen());
    EXPECT_FALSE(in->IsCapturing());
    EXPECT_EQ(Called(sim::log()), (Names{"waveInStop", "waveInReset", "waveInUnprepareHeader",
                                         "waveInUnprepareHeader", "waveInClose"}));

    // The buffers the stop and the reset returned were released by close:
    // their notifications must neither deliver nor hand them back.
    Pump();
    EXPECT_TRUE(delivered.empty());
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(sim::log().size(), 5u);

    sim::clearLog();
    in->close();
    EXPECT_EQ(Called(sim::log()), (Names{"waveInClose"}));
    EXPECT_FALSE(in->IsOpen());
    Pump();
    EXPECT_EQ(closes, 1);
}

TEST_F(CaptureTest, RefusedPrepareOrAddEndsTheQueueing) {
    sim::failNext(Fn::waveInPrepareHeader, MMSYSERR_NOMEM);
    in->open();
    Pump();
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(Called(sim::calls(Fn::waveInAddBuffer)), Names{});
    sim::clearLog();
    in->close();
    EXPECT_EQ(Called(sim::log()), (Names{"waveInStop", "waveInReset", "waveInClose"}));

    // A refused add leaves the slot in use: close still unprepares it.
    sim::failNext(Fn::waveInAddBuffer, MMSYSERR_NOMEM);
    in->open();
    sim::clearLog();
    Pump();
    EXPECT_EQ(Called(sim::log()), (Names{"waveInPrepareHeader", "waveInAddBuffer"}));
    sim::clearLog();
    in->close();
    EXPECT_EQ(Called(sim::log()),
              (Names{"waveInStop", "waveInReset", "waveInUnprepareHeader", "waveInClose"}));
    Pump();
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(closes, 2);
}

TEST_F(CaptureTest, RefusedAllocationEndsTheQueueingQuietly) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    in->SetInBuffSize(std::numeric_limits<std::int32_t>::max());
    in->open();
    {
        // Room for the test's own needs, not for a 2 GiB buffer.
        rlimit tight = saved;
        long pages = 0;
        FILE* statm = std::fopen("/proc/self/statm", "r");
        ASSERT_NE(statm, nullptr);
        ASSERT_EQ(std::fscanf(statm, "%ld", &pages), 1);
        std::fclose(statm);
        tight.rlim_cur = static_cast<rlim_t>(pages) * 4096 + (rlim_t{256} << 20);
        ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
        Pump();
        setrlimit(RLIMIT_AS, &saved);
    }
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(exceptions, 0);
    EXPECT_TRUE(sim::calls(Fn::waveInPrepareHeader).empty());
    sim::clearLog();
    in->close();
    EXPECT_EQ(Called(sim::log()), (Names{"waveInStop", "waveInReset", "waveInClose"}));
}

TEST_F(CaptureTest, BufferRefusedOnTheWayBackLeavesTheCirculation) {
    in->SetMaxBuffers(1);
    in->SetInBuffSize(16);
    in->open();
    Pump();
    sim::failNext(Fn::waveInAddBuffer, MMSYSERR_ERROR);
    for (int i = 0; i < 4; ++i) Record(2ms);
    EXPECT_EQ(delivered.size(), 1u);

    sim::clearLog();
    in->close();
    EXPECT_EQ(Called(sim::log()),
              (Names{"waveInStop", "waveInReset", "waveInUnprepareHeader", "waveInClose"}));
}

TEST_F(CaptureTest, SecondOpenIsRefusedAndTheFirstDeviceKeepsRunning) {
    in->SetInBuffSize(16);
    in->open();
    Pump();
    const HWAVEIN first = in->DeviceID();
    sim::clearLog();
    in->open();
    EXPECT_TRUE(sim::log().empty());
    EXPECT_EQ(in->DeviceID(), first);
    EXPECT_TRUE(in->IsCapturing());
    Record(2ms);
    EXPECT_EQ(delivered.size(), 1u);
    EXPECT_EQ(opens, 1);
}

TEST_F(CaptureTest, OpenNotificationAfterCloseQueuesNothing) {
    in->open();
    sim::clearLog();
    in->close();  // still waiting for the device: no buffer to release
    EXPECT_EQ(Called(sim::log()), (Names{"waveInStop", "waveInReset", "waveInClose"}));
    EXPECT_FALSE(in->IsOpen());
    EXPECT_FALSE(in->IsCapturing());
    sim::clearLog();
    Pump();
    EXPECT_TRUE(sim::log().empty());
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(closes, 1);

    // Handled while another device is open, it must not queue to that one.
    in->open();
    in->close();
    in->open();
    sim::clearLog();
    Pump();
    const auto calls = sim::log();
    EXPECT_EQ(Called(calls), (Names{"waveInPrepareHeader", "waveInAddBuffer", "waveInPrepareHeader",
                                    "waveInAddBuffer"}));
    for (const auto& c : calls) {
        EXPECT_EQ(c.call.handle, Handle());
        EXPECT_EQ(c.result, MMSYSERR_NOERROR);
    }
    EXPECT_EQ(opens, 3);
    EXPECT_EQ(closes, 2);
}

TEST_F(CaptureTest, CloseThenOpenBeforeTheNotificationsFeedsOnlyTheNewDevice) {
    in->SetInBuffSize(16);
    in->open();
    Pump();
    Record(1ms);
    const UINT_PTR first = Handle();
    in->close();
    const std::size_t firstCalls = CallsOn(first).size();
    in->open();
    const UINT_PTR second = Handle();
    ASSERT_NE(first, second);
    Pump();

    EXPECT_EQ(CallsOn(first).size(), firstCalls) << "a call on the closed device";
    EXPECT_EQ(Called(CallsOn(second)),
              (Names{"waveInOpen", "waveInStart", "waveInPrepareHeader", "waveInAddBuffer",
                     "waveInPrepareHeader", "waveInAddBuffer"}));
    EXPECT_TRUE(delivered.empty());
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(closes, 1);
    Record(2ms);
    EXPECT_EQ(delivered.size(), 1u);
}

TEST_F(CaptureTest, HandlerThatClosesGetsNoBufferHandedBack) {
    in->SetInBuffSize(16);
    in->open();
    Pump();
    const UINT_PTR device = Handle();
    in->OnData = [&](TObject*, char* data, std::int32_t size) {
        delivered.emplace_back(data, data + size);
        in->close();
    };
    Record(2ms);

    const auto calls = CallsOn(device);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(Called({calls.back()}), Names{"waveInClose"});
    EXPECT_EQ(calls.back().result, MMSYSERR_NOERROR);
    Record(4ms);
    EXPECT_EQ(delivered.size(), 1u);
    EXPECT_EQ(closes, 1);
}

TEST_F(CaptureTest, HandlerThatClosesAndOpensFeedsTheNewDeviceOnly) {
    in->SetInBuffSize(16);
    in->open();
    Pump();
    const UINT_PTR first = Handle();
    in->OnData = [&](TObject*, char* data, std::int32_t size) {
        delivered.emplace_back(data, data + size);
        if (delivered.size() == 1) {
            in->close();
            in->open();
        }
    };
    Record(2ms);
    Pump();

    const UINT_PTR second = Handle();
    ASSERT_NE(first, second);
    EXPECT_EQ(Called({CallsOn(first).back()}), Names{"waveInClose"});
    EXPECT_EQ(Called(CallsOn(second)),
              (Names{"waveInOpen", "waveInStart", "waveInPrepareHeader", "waveInAddBuffer",
                     "waveInPrepareHeader", "waveInAddBuffer"}));
    for (const auto& c : CallsOn(second)) EXPECT_EQ(c.result, MMSYSERR_NOERROR);
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(closes, 1);
    Record(2ms);
    EXPECT_EQ(delivered.size(), 2u);
}

TEST_F(CaptureTest, ForeignAndStaleMessagesAreLeftAlone) {
    in->SetInBuffSize(16);
    in->open();
    Pump();
    auto* slot = const_cast<WAVEHDR*>(QueuedSlots().front());
    sim::clearLog();

    TMessage foreignDevice{MM_WIM_DATA, Handle() + 1, reinterpret_cast<LPARAM>(slot), 0};
    in->WndProc(foreignDevice);
    WAVEHDR notOurs{};
    TMessage notASlot{MM_WIM_DATA, Handle(), reinterpret_cast<LPARAM>(&notOurs), 0};
    in->WndProc(notASlot);
    TMessage playbackDone{MM_WOM_DONE, Handle(), reinterpret_cast<LPARAM>(slot), 0};
    in->WndProc(playbackDone);

    EXPECT_TRUE(sim::log().empty());
    EXPECT_TRUE(delivered.empty());
    Record(2ms);
    EXPECT_EQ(delivered.size(), 1u);
}

TEST_F(CaptureTest, NewBufferSizeWaitsForTheNextOpenNotification) {
    in->SetInBuffSize(16);
    in->open();
    Pump();
    in->SetInBuffSize(32);
    Record(2ms);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].size(), 16u);
    in->close();
    Pump();

    sim::clearLog();
    in->open();
    Pump();
    for (const WAVEHDR* slot : QueuedSlots()) EXPECT_EQ(slot->dwBufferLength, 32u);
    Record(4ms);
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered[1].size(), 32u);
}

TEST_F(CaptureTest, CapabilitiesAskTheSelectedDevice) {
    sim::setUp({.inputs = {{.name = "Mono", .channels = 1},
                           {.name = "Stereo", .channels = 2},
                           {.name = "Quad", .channels = 4}}});
    EXPECT_TRUE(in->capabilities().Empty());
    in->SetWantedDev(wvDevice1);
    EXPECT_EQ(in->capabilities(), TSVInCaps{icStereo});
    in->SetCaps({});
    EXPECT_EQ(in->GetCaps(), TSVInCaps{icStereo});
    in->SetWantedDev(wvDevice2);
    EXPECT_TRUE(in->GetCaps().Empty());
    in->SetWantedDev(wvDevice1);
    sim::failNext(Fn::waveInGetDevCapsA, MMSYSERR_ERROR);
    EXPECT_TRUE(in->GetCaps().Empty());

    const auto calls = sim::calls(Fn::waveInGetDevCapsA);
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].call.deviceId, UINT_PTR{WAVE_MAPPER});
    EXPECT_EQ(calls[1].call.deviceId, 1u);
    EXPECT_EQ(calls[3].call.deviceId, 2u);
    for (const auto& c : calls) EXPECT_EQ(c.call.size, 48u);
}

TEST_F(CaptureTest, DestroyingACapturingComponentClosesTheDeviceWithoutOnClose) {
    in->open();
    Pump();
    Record(1ms);
    sim::clearLog();
    in.reset();
    EXPECT_EQ(Called(sim::log()), (Names{"waveInStop", "waveInReset", "waveInUnprepareHeader",
                                         "waveInUnprepareHeader", "waveInClose"}));
    Pump();
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(delivered.empty());
}

TEST_F(CaptureTest, ThrowingHandlerKeepsTheBufferCirculating) {
    in->SetMaxBuffers(1);
    in->SetInBuffSize(16);
    in->OnData = [&](TObject*, char* data, std::int32_t size) {
        delivered.emplace_back(data, data + size);
        throw std::runtime_error("handler failed");
    };
    in->open();
    Pump();
    for (int i = 0; i < 3; ++i) Record(2ms);
    EXPECT_EQ(exceptions, 3);
    EXPECT_EQ(delivered.size(), 3u);
}
