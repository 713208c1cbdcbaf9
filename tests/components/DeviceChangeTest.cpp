// OnDeviceChange of both components: virtual devices plugged in and out
// while they wait, and the event as a form stores it.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <set>

#include "components/Sorvan.h"
#include "framework/ClassRegistry.h"
#include "framework/Forms.h"
#include "framework/Streaming.h"
#include "platform/sim/Sim.h"

namespace {

namespace sim = sorvan::sim;
using Clock = std::chrono::steady_clock;

// Handles this thread's messages until well past a burst of changes.
void Settle() {
    const auto end = Clock::now() + std::chrono::milliseconds(400);
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
        pollfd queue{MessageQueueDescriptor(), POLLIN, 0};
        poll(&queue, 1, static_cast<int>((end - now) / std::chrono::milliseconds(1)) + 1);
        Application->ProcessMessages();
    }
}

// A form with a handler for the event.
class TWatchForm : public TComponent {
  public:
    explicit TWatchForm(TComponent* AOwner) : TComponent(AOwner) {}
    static const TClassInfo& StaticClass() {
        static const TClassInfo info{
            .Name = "TWatchForm",
            .Parent = &TComponent::StaticClass(),
            .Create = [](TComponent* owner) -> TComponent* { return new TWatchForm(owner); },
            .Methods = {typinfo::PublishedMethod("Changed", &TWatchForm::Changed)}};
        return info;
    }
    const TClassInfo& ClassType() const override { return StaticClass(); }
    void Changed(TObject* sender) { told.push_back(sender); }
    std::vector<TObject*> told;
};

const char* const WatchingForm =
    "object Watch: TWatchForm\n"
    "  object Mic: TSorvanIn\n    OnDeviceChange = Changed\n  end\n"
    "  object Speaker: TSorvanOut\n    OnDeviceChange = Changed\n  end\n"
    "end\n";

TEST(DeviceChange, EachPlugOrUnplugBurstIsOneEventPerComponentFromTheLoop) {
    sim::Session session({.inputs = {{}}, .outputs = {{}}});
    RegisterClass(TWatchForm::StaticClass());
    const auto form = CreateComponentFromText(WatchingForm);
    UnRegisterClass(TWatchForm::StaticClass());
    EXPECT_EQ(ComponentToText(*form), WatchingForm);
    auto& watch = dynamic_cast<TWatchForm&>(*form);
    auto& speaker = dynamic_cast<TSorvanOut&>(*form->FindComponent("Speaker"));
    UINT outputsSeen = 0;
    speaker.OnDeviceChange = [&](TObject* sender) {
        outputsSeen = waveOutGetNumDevs();
        watch.Changed(sender);
    };

    // A headset: its microphone and its earpiece at once.
    sim::plugInput({.name = "Headset mic"});
    sim::plugOutput({.name = "Headset"});
    EXPECT_TRUE(watch.told.empty()) << "never inside the call that changed the devices";
    Settle();
    EXPECT_EQ(outputsSeen, 2u) << "the list already has the device";
    ASSERT_EQ(watch.told.size(), 2u);
    EXPECT_EQ(std::set<TObject*>(watch.told.begin(), watch.told.end()),
              (std::set<TObject*>{form->FindComponent("Mic"), &speaker}));

    ASSERT_TRUE(sim::unplugOutput(1));
    EXPECT_FALSE(sim::unplugOutput(1));
    Settle();
    EXPECT_EQ(watch.told.size(), 4u);
    EXPECT_EQ(outputsSeen, 1u);
}

TEST(DeviceChange, ComponentsWithoutAHandlerOrOpenTakeTheMessageAsWell) {
    sim::Session session({.inputs = {{}}, .outputs = {{}}});
    TSorvanIn in(nullptr);
    TSorvanOut out(nullptr);
    in.open();
    sim::plugInput({});
    Settle();
    EXPECT_TRUE(in.IsOpen());
    TMessage message{WM_DEVICECHANGE, 0x0007, 0, 0};
    out.WndProc(message);
    EXPECT_EQ(message.Result, TRUE) << "a device may be removed: nothing here objects";
}

}  // namespace
