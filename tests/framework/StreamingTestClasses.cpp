#include "StreamingTestClasses.h"

#include "framework/ClassRegistry.h"

namespace {

void Journal(const TComponent& c, const std::string& entry) {
    SetterJournal().push_back(c.Name() + "." + entry);
}

const std::vector<std::string> kCapNames{"gcMono", "gcStereo", "gcLoud"};

template <class C>
TComponent* CreateIn(TComponent* owner) {
    return new C(owner);
}

// The test classes are registered once, when the test program starts.
const bool registered = [] {
    RegisterClasses({&TGadget::StaticClass(), &TFancyGadget::StaticClass(),
                     &TPanelForm::StaticClass(), &TFixedGadget::StaticClass(),
                     &TGadgetBox::StaticClass()});
    return true;
}();

}  // namespace

std::vector<std::string>& SetterJournal() {
    static std::vector<std::string> journal;
    return journal;
}

void TGadget::SetCount(int value) {
    Journal(*this, "Count=" + std::to_string(value));
    FCount = value;
}

void TGadget::SetCaption(const std::string& value) {
    Journal(*this, "Caption=" + value);
    FCaption = value;
}

void TGadget::SetMode(TGadgetMode value) {
    Journal(*this, "Mode=" + std::to_string(static_cast<int>(value)));
    FMode = value;
}

const TClassInfo& TGadget::StaticClass() {
    using namespace typinfo;
    static const TClassInfo info{
        .Name = "TGadget",
        .Parent = &TComponent::StaticClass(),
        .Create = CreateIn<TGadget>,
        .Properties = {
            UnstoredSetProperty("Caps", kCapNames, &TGadget::Caps, &TGadget::SetCaps),
            IntegerProperty("Count", &TGadget::Count, &TGadget::SetCount, 5),
            StringProperty("Caption", &TGadget::Caption, &TGadget::SetCaption),
            EnumProperty("Mode", {"gmOff", "gmLow", "gmHigh"}, &TGadget::Mode, &TGadget::SetMode,
                         TGadgetMode::gmOff),
            ReadOnlyIntegerProperty("Serial", &TGadget::Serial),
            EventProperty("OnFire", &TGadget::OnFire),
            EventProperty("OnData", &TGadget::OnData),
        }};
    return info;
}

const TClassInfo& TFancyGadget::StaticClass() {
    static const TClassInfo info = [] {
        TClassInfo c{.Name = "TFancyGadget",
                     .Parent = &TGadget::StaticClass(),
                     .Create = CreateIn<TFancyGadget>};
        TPropInfo flags = typinfo::UnstoredSetProperty("Flags", kCapNames, &TFancyGadget::Flags,
                                                       &TFancyGadget::SetFlags);
        flags.Stored = true;
        flags.OrdDefault = 0;
        c.Properties.push_back(std::move(flags));
        c.Properties.push_back(typinfo::IntegerProperty("Level", &TFancyGadget::Level,
                                                        &TFancyGadget::SetLevel, std::nullopt));
        return c;
    }();
    return info;
}

void TPanelForm::SetTag(int value) {
    if (value < 0) throw ETagError("A tag cannot be negative");
    FTag = value;
}

const TClassInfo& TPanelForm::StaticClass() {
    using namespace typinfo;
    static const TClassInfo info{
        .Name = "TPanelForm",
        .Parent = &TComponent::StaticClass(),
        .Create = CreateIn<TPanelForm>,
        .Properties = {IntegerProperty("Tag", &TPanelForm::Tag, &TPanelForm::SetTag, 0),
                       StringProperty("Caption", &TPanelForm::Caption, &TPanelForm::SetCaption),
                       EventProperty("OnShow", &TPanelForm::OnShow)},
        .Methods = {typinfo::PublishedMethod("GadgetFire", &TPanelForm::GadgetFire),
                    typinfo::PublishedMethod("GadgetData", &TPanelForm::GadgetData)}};
    return info;
}

const TClassInfo& TFixedGadget::StaticClass() {
    static const TClassInfo info{.Name = "TFixedGadget", .Parent = &TComponent::StaticClass()};
    return info;
}

TGadgetBox::TGadgetBox(TComponent* AOwner) : TGadget(AOwner) {
    (new TGadget(this))->SetName("Lid");
}

const TClassInfo& TGadgetBox::StaticClass() {
    static const TClassInfo info{
        .Name = "TGadgetBox", .Parent = &TGadget::StaticClass(), .Create = CreateIn<TGadgetBox>};
    return info;
}
