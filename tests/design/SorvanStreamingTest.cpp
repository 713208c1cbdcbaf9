#include <gtest/gtest.h>

#include <string>

#include "components/Sorvan.h"
#include "framework/ClassRegistry.h"
#include "framework/Streaming.h"

namespace {

// A form class of an application with handlers for both components.
class TRecorderForm : public TComponent {
  public:
    explicit TRecorderForm(TComponent* AOwner) : TComponent(AOwner) {}
    static const TClassInfo& StaticClass() {
        static const TClassInfo info{
            .Name = "TRecorderForm",
            .Parent = &TComponent::StaticClass(),
            .Create = [](TComponent* owner) -> TComponent* { return new TRecorderForm(owner); },
            .Methods = {typinfo::PublishedMethod("MicOpen", &TRecorderForm::MicOpen),
                        typinfo::PublishedMethod("MicData", &TRecorderForm::MicData),
                        typinfo::PublishedMethod("SpeakerDone", &TRecorderForm::SpeakerDone)}};
        return info;
    }
    const TClassInfo& ClassType() const override { return StaticClass(); }

    void MicOpen(TObject*) {}
    void MicData(TObject*, char*, std::int32_t) {}
    void SpeakerDone(TObject*) {}
};

const char* const kChangedForm =
    "object Recorder: TRecorderForm\n"
    "  object Mic: TSorvanIn\n"
    "    FileName = 'take ''one''.wav'\n"
    "    channels = 2\n"
    "    samples = 44100\n"
    "    SampleBits = 16\n"
    "    MaxBuffers = 4\n"
    "    BufferSize = 8192\n"
    "    device = wvDevice3\n"
    "    OnOpen = MicOpen\n"
    "    OnData = MicData\n"
    "  end\n"
    "  object Speaker: TSorvanOut\n"
    "    channels = 2\n"
    "    samples = 22050\n"
    "    SampleBits = 16\n"
    "    device = wvDevice0\n"
    "    OnOpen = MicOpen\n"
    "    OnDone = SpeakerDone\n"
    "  end\n"
    "end\n";

TEST(SorvanForms, FreshComponentsWriteNoPropertiesAtAll) {
    TRecorderForm form(nullptr);
    form.SetName("Recorder");
    (new TSorvanIn(&form))->SetName("Mic");
    (new TSorvanOut(&form))->SetName("Speaker");
    EXPECT_EQ(ComponentToText(form),
              "object Recorder: TRecorderForm\n"
              "  object Mic: TSorvanIn\n  end\n"
              "  object Speaker: TSorvanOut\n  end\n"
              "end\n");
}

TEST(SorvanForms, EveryStoredPropertyRoundTrips) {
    RegisterClass(TRecorderForm::StaticClass());
    const auto form = CreateComponentFromText(kChangedForm);
    EXPECT_EQ(ComponentToText(*form), kChangedForm);

    const auto& mic = dynamic_cast<const TSorvanIn&>(*form->FindComponent("Mic"));
    EXPECT_EQ(mic.FileName(), "take 'one'.wav");
    EXPECT_EQ(mic.MaxBuffers(), 4);
    EXPECT_EQ(mic.device(), wvDevice3);
    EXPECT_EQ(mic.OnData.Data(), form.get());
    UnRegisterClass(TRecorderForm::StaticClass());
}

TEST(SorvanForms, CapabilitiesVolumeAndDeviceIDAreNeverWrittenNorRead) {
    TRecorderForm form(nullptr);
    (new TSorvanIn(&form))->SetName("Mic");
    (new TSorvanOut(&form))->SetName("Speaker");
    const std::string text = ComponentToText(form);
    for (const char* name : {"capabilities", "volume", "DeviceID"}) {
        EXPECT_EQ(text.find(name), std::string::npos) << name;
    }
    for (const char* line : {"capabilities = []", "volume = 100", "DeviceID = 1"}) {
        TRecorderForm target(nullptr);
        const std::string bad = std::string("object TRecorderForm\n  object S: TSorvanOut\n    ") +
                                line + "\n  end\nend\n";
        EXPECT_THROW(ReadComponentText(bad, target), EReadError) << line;
        EXPECT_EQ(target.ComponentCount(), 0);
    }
}

TEST(SorvanForms, FileNameIsSetThroughItsSetterInFileOrder) {
    TRecorderForm form(nullptr);
    ReadComponentText(
        "object TRecorderForm\n"
        "  object Mic: TSorvanIn\n"
        "    FileName = 'first.wav'\n"
        "    channels = 2\n"
        "    FileName = 'Second.WAV'\n"
        "  end\n"
        "end\n",
        form);
    const auto& mic = dynamic_cast<const TSorvanIn&>(*form.FindComponent("Mic"));
    EXPECT_EQ(mic.FileName(), "Second.WAV");
    EXPECT_EQ(mic.channels(), 2);
    EXPECT_FALSE(mic.IsOpen());
}

TEST(SorvanForms, AnEnumerationValueOutsideTheDeviceListIsABadFile) {
    TRecorderForm form(nullptr);
    EXPECT_THROW(ReadComponentText("object TRecorderForm\n  object Mic: TSorvanIn\n"
                                   "    device = wvDevice10\n  end\nend\n",
                                   form),
                 EReadError);
    EXPECT_EQ(form.ComponentCount(), 0);
}

}  // namespace
