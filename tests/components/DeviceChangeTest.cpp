// OnDeviceChange of both components: virtual devices plugged in and out
// while the components wait, and the event as a form stores it.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <memory>
#include <set>
#include <vector>

#include "components/Sorvan.h"
#include "framework/ClassRegistry.h"
#include "framework/Forms.h"
#include "framework/Streaming.h"
#include "platform/sim/Sim.h"

namespace {

namespace sim = sorvan::sim;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Handles this thread's messages until `span` has passed, sleeping on the
// queue's descriptor in between.
void PumpFor(std::chrono::milliseconds span) {
    const auto end = Clock::now() + span;
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
        pollfd queue{MessageQueueDescriptor(), POLLIN, 0};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now);
        poll(&queue, 1, static_cast<int>(left.count()));
        Application->ProcessMessages();
    }
}

// Well past the burst that changes are gathered in, with room for a loaded machine.
constexpr auto Settle = 400ms;

class DeviceChange : public ::testing::Test {
  protected:
    void SetUp() override {
        in->OnDeviceChange = [this](TObject* sender) {
            EXPECT_EQ(sender, in.get());
            ++inChanges;
        };
        out->OnDeviceChange = [this](TObject* sender) {
            EXPECT_EQ(sender, out.get());
            ++outChanges;
        };
    }

    sim::Session session{{.inputs = {{}}, .outputs = {{}}}};
    std::unique_ptr<TSorvanIn> in = std::make_unique<TSorvanIn>(nullptr);
    std::unique_ptr<TSorvanOut> out = std::make_unique<TSorvanOut>(nullptr);
    int inChanges = 0;
    int outChanges = 0;
};

TEST_F(DeviceChange, EachPlugAndUnplugIsOneEventFromTheMessageLoop) {
    sim::plugOutput({.name = "Headset"});
    EXPECT_EQ(outChanges, 0) << "never inside the call that changed the devices";
    PumpFor(Settle);
    EXPECT_EQ(inChanges, 1);
    EXPECT_EQ(outChanges, 1);

    ASSERT_TRUE(sim::unplugOutput(1));
    PumpFor(Settle);
    EXPECT_EQ(inChanges, 2);
    EXPECT_EQ(outChanges, 2);

    EXPECT_FALSE(sim::unplugOutput(1));
    PumpFor(Settle);
    EXPECT_EQ(outChanges, 2) << "nothing changed, nobody is told";
}

TEST_F(DeviceChange, AHeadsetsInputAndOutputTogetherAreOneEvent) {
    sim::plugInput({.name = "Headset mic"});
    sim::plugOutput({.name = "Headset"});
    PumpFor(Settle);
    EXPECT_EQ(inChanges, 1);
    EXPECT_EQ(outChanges, 1);
}

TEST_F(DeviceChange, UnassignedHandlersAndOpenDevicesTakeTheMessageAsWell) {
    in->OnDeviceChange = nullptr;
    out->SetOnDeviceChange(nullptr);
    in->open();
    ASSERT_TRUE(in->IsOpen());
    sim::plugInput({});
    PumpFor(Settle);
    EXPECT_TRUE(in->IsOpen());

    TMessage message{WM_DEVICECHANGE, 0x0007, 0, 0};
    out->WndProc(message);
    EXPECT_EQ(message.Result, TRUE) << "a device may be removed: nothing here objects";
}

TEST_F(DeviceChange, TheListAlreadyShowsTheDeviceWhenTheEventComes) {
    std::size_t outputsSeen = 0;
    out->OnDeviceChange = [&](TObject*) { outputsSeen = waveOutGetNumDevs(); };
    sim::plugOutput({.name = "Headset"});
    PumpFor(Settle);
    EXPECT_EQ(outputsSeen, 2u);
}

// A form class with a handler for the event.
class TWatchForm : public TComponent {
  public:
    explicit TWatchForm(TComponent* AOwner) : TComponent(AOwner) {}
    static const TClassInfo& StaticClass() {
        static const TClassInfo info{
            .Name = "TWatchForm",
            .Parent = &TComponent::StaticClass(),
            .Create = [](TComponent* owner) -> TComponent* { return new TWatchForm(owner); },
            .Methods = {typinfo::PublishedMethod("DevicesChanged", &TWatchForm::DevicesChanged)}};
        return info;
    }
    const TClassInfo& ClassType() const override { return StaticClass(); }

    void DevicesChanged(TObject* sender) { changedBy.push_back(sender); }
    std::vector<TObject*> changedBy;
};

TEST(DeviceChangeForms, TheHandlerIsStoredReadBackAndCalled) {
    const char* const text =
        "object Watch: TWatchForm\n"
        "  object Mic: TSorvanIn\n"
        "    OnDeviceChange = DevicesChanged\n"
        "  end\n"
        "  object Speaker: TSorvanOut\n"
        "    OnDeviceChange = DevicesChanged\n"
        "  end\n"
        "end\n";
    sim::Session session{{.inputs = {{}}, .outputs = {{}}}};
    RegisterClass(TWatchForm::StaticClass());
    const auto form = CreateComponentFromText(text);
    UnRegisterClass(TWatchForm::StaticClass());
    EXPECT_EQ(ComponentToText(*form), text);

    sim::plugInput({});
    PumpFor(Settle);
    const auto& watch = dynamic_cast<const TWatchForm&>(*form);
    // Windows are told in no particular order.
    const std::set<TObject*> told(watch.changedBy.begin(), watch.changedBy.end());
    EXPECT_EQ(watch.changedBy.size(), 2u);
    EXPECT_EQ(told,
              (std::set<TObject*>{form->FindComponent("Mic"), form->FindComponent("Speaker")}));
}

}  // namespace
