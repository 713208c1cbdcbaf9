#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "StreamingTestClasses.h"
#include "framework/ClassRegistry.h"
#include "framework/Streaming.h"

namespace {

// A form with two gadgets, one of them owning a third, and every kind of value set.
std::unique_ptr<TPanelForm> MakeForm() {
    auto form = std::make_unique<TPanelForm>(nullptr);
    form->SetName("Panel");
    auto* first = new TGadget(form.get());
    first->SetName("First");
    first->SetCount(-12);
    first->SetCaption("it's\ttabbed");
    first->SetMode(TGadgetMode::gmHigh);
    first->OnFire = TNotifyEvent(form.get(), &TPanelForm::GadgetFire, "GadgetFire");
    first->OnData = TGadgetDataEvent(form.get(), &TPanelForm::GadgetData, "GadgetData");
    auto* fancy = new TFancyGadget(form.get());
    fancy->SetName("Fancy");
    fancy->SetFlags({TGadgetCap::gcMono, TGadgetCap::gcLoud});
    auto* inner = new TGadget(fancy);
    inner->SetName("Inner");
    inner->SetCaption("deep");
    return form;
}

const char* const kFormText =
    "object Panel: TPanelForm\n"
    "  object First: TGadget\n"
    "    Count = -12\n"
    "    Caption = 'it''s'#9'tabbed'\n"
    "    Mode = gmHigh\n"
    "    OnFire = GadgetFire\n"
    "    OnData = GadgetData\n"
    "  end\n"
    "  object Fancy: TFancyGadget\n"
    "    Flags = [gcMono, gcLoud]\n"
    "    Level = 0\n"
    "    object Inner: TGadget\n"
    "      Caption = 'deep'\n"
    "    end\n"
    "  end\n"
    "end\n";

TEST(FormWriting, WritesOnlyStoredValuesThatDifferFromTheirDefaults) {
    // Caps (never stored) and Serial (read-only) are absent; Count, Mode and
    // Caption only where changed; Level, which has no default, always.
    EXPECT_EQ(ComponentToText(*MakeForm()), kFormText);
}

TEST(FormWriting, WritesOnlyEventsBoundToMethodsTheRootPublishes) {
    TPanelForm form(nullptr);
    TPanelForm other(nullptr);
    auto* a = new TGadget(&form);
    a->SetName("A");
    a->OnFire = [](TObject*) {};
    auto* b = new TGadget(&form);
    b->SetName("B");
    b->OnFire = TNotifyEvent(&other, &TPanelForm::GadgetFire, "GadgetFire");
    auto* c = new TGadget(&form);
    c->SetName("C");
    c->OnFire = TNotifyEvent(&form, &TPanelForm::Unpublished, "Unpublished");

    EXPECT_EQ(ComponentToText(form),
              "object TPanelForm\n"
              "  object A: TGadget\n  end\n"
              "  object B: TGadget\n  end\n"
              "  object C: TGadget\n  end\n"
              "end\n");
}

TEST(FormRoundTrip, WriteReadWriteGivesTheSameTextAndValues) {
    const std::unique_ptr<TComponent> read = CreateComponentFromText(kFormText);
    EXPECT_EQ(ComponentToText(*read), kFormText);

    auto& form = dynamic_cast<TPanelForm&>(*read);
    auto& first = dynamic_cast<TGadget&>(*form.FindComponent("First"));
    EXPECT_EQ(first.Caption(), "it's\ttabbed");
    EXPECT_EQ(first.Mode(), TGadgetMode::gmHigh);
    first.OnFire(&first);
    int bytes = 0;
    first.OnData(&first, &bytes, 4);
    EXPECT_EQ(form.Fired, std::vector<TObject*>{&first});
    EXPECT_EQ(form.DataSizes, std::vector<int>{4});
    auto* inner = form.FindComponent("Fancy")->FindComponent("Inner");
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->Owner(), form.FindComponent("Fancy"));
}

TEST(FormRoundTrip, StringsWithControlCharactersAndQuotesSurvive) {
    TPanelForm form(nullptr);
    auto* g = new TGadget(&form);
    g->SetName("G");
    const std::string awkward = std::string("\r\n'lead''s'\x01 end\x7f") + "\xc3\xa9";
    g->SetCaption(awkward);
    TPanelForm copy(nullptr);
    ReadComponentText(ComponentToText(form), copy);
    EXPECT_EQ(dynamic_cast<TGadget&>(*copy.FindComponent("G")).Caption(), awkward);
}

TEST(FormRoundTrip, ThroughAFile) {
    const auto path = std::filesystem::temp_directory_path() / "sorvan-streaming-test.sfm";
    WriteComponentFile(path.string(), *MakeForm());
    TPanelForm form(nullptr);
    ReadComponentFile(path.string(), form);
    std::filesystem::remove(path);
    EXPECT_EQ(ComponentToText(form), kFormText);
    EXPECT_THROW(ReadComponentFile(path.string(), form), EFOpenError);
    EXPECT_THROW(WriteComponentFile((path / "no" / "such").string(), form), EFCreateError);
}

TEST(FormReading, AppliesPropertiesThroughTheirSettersInFileOrder) {
    SetterJournal().clear();
    TPanelForm form(nullptr);
    ReadComponentText(
        "object TPanelForm\n"
        "  object G: TGadget\n"
        "    Mode = gmLow\n"
        "    Caption = 'one'\n"
        "    Count = 5\n"
        "    Caption = 'two'\n"
        "  end\n"
        "end\n",
        form);
    // Count = 5 equals the default but is still set: the file says so.
    EXPECT_EQ(SetterJournal(), (std::vector<std::string>{"G.Mode=1", "G.Caption=one", "G.Count=5",
                                                         "G.Caption=two"}));
}

TEST(FormReading, AcceptsHexIntegersUnnamedObjectsAndAnyLetterCase) {
    TPanelForm form(nullptr);
    ReadComponentText(
        "OBJECT tpanelform\n"
        "  object tgadget\n  count = $1F\n  MODE = GMHIGH\n  onfire = gadgetfire\n  End\n"
        "end",
        form);
    ASSERT_EQ(form.ComponentCount(), 1);
    auto& g = dynamic_cast<TGadget&>(*form.Components(0));
    EXPECT_EQ(g.Count(), 31);
    EXPECT_EQ(g.Mode(), TGadgetMode::gmHigh);
    EXPECT_TRUE(g.OnFire.Assigned());
}

struct TBadForm {
    const char* What;
    const char* Text;
    int Line;
};

class BadFormFiles : public testing::TestWithParam<TBadForm> {};

TEST_P(BadFormFiles, RaiseAReadErrorNamingTheLineAndCreateNothing) {
    const TBadForm& bad = GetParam();
    TPanelForm form(nullptr);
    form.SetName("Before");
    new TGadget(&form);
    try {
        ReadComponentText(bad.Text, form);
        FAIL() << "no error for " << bad.What;
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Line(), bad.Line) << e.what();
        EXPECT_EQ(std::string(e.what()).rfind("Line " + std::to_string(bad.Line) + ": ", 0), 0u);
    }
    EXPECT_EQ(form.ComponentCount(), 1) << bad.What;
    EXPECT_EQ(form.Name(), "Before");
    EXPECT_THROW(CreateComponentFromText(bad.Text), EReadError);
}

constexpr const char* kHead = "object Panel: TPanelForm\n  object G: TGadget\n";

std::string WithBody(const char* body) {
    return std::string(kHead) + body + "  end\nend\n";
}

const std::string kUnterminated = WithBody("    Caption = 'open\n");
const std::string kBadCharacter = WithBody("    Count = 3;\n");
const std::string kNoValue = WithBody("    Count =\n");
const std::string kUnknownProperty = WithBody("    Cuont = 3\n");
const std::string kIntegerForString = WithBody("    Caption = 3\n");
const std::string kStringForInteger = WithBody("    Count = '3'\n");
const std::string kUnknownEnum = WithBody("    Mode = gmLoud\n");
const std::string kUnknownSetElement =
    "object TPanelForm\n  object F: TFancyGadget\n    Flags = [gcMono, gcQuiet]\n  end\nend\n";
const std::string kUnstored = WithBody("    Caps = [gcMono]\n");
const std::string kReadOnly = WithBody("    Serial = 1\n");
const std::string kUnknownHandler = WithBody("    Count = 1\n    OnFire = GadgetBlast\n");
const std::string kUnpublishedHandler = WithBody("    OnFire = Unpublished\n");
const std::string kWrongHandlerType = WithBody("    Caption = 'x'\n    OnFire = GadgetData\n");
const std::string kTooBig = WithBody("    Count = 99999999999999999999\n");
const std::string kPastTheType = WithBody("    Count = 4294967296\n");
const std::string kDuplicateName =
    "object TPanelForm\n  object A: TGadget\n  end\n  object a: TGadget\n  end\nend\n";
const std::string kUnknownClass =
    "object TPanelForm\n  object A: TGadget\n  end\n  object B: TWidget\n  end\nend\n";
const std::string kUncreatableClass = "object TPanelForm\n\n  object B: TFixedGadget\n  end\nend\n";
const std::string kLateProperty =
    "object TPanelForm\n  object A: TGadget\n  end\n  Count = 1\nend\n";

INSTANTIATE_TEST_SUITE_P(
    EveryKind, BadFormFiles,
    testing::Values(TBadForm{"unterminated string", kUnterminated.c_str(), 3},
                    TBadForm{"stray character", kBadCharacter.c_str(), 3},
                    TBadForm{"missing value", kNoValue.c_str(), 4},
                    TBadForm{"missing end", "object TPanelForm\n  object A: TGadget\n  end\n", 4},
                    TBadForm{"text after the end", "object TPanelForm\nend\nend\n", 3},
                    TBadForm{"no object", "\n  Count = 1\n", 2},
                    TBadForm{"unknown property", kUnknownProperty.c_str(), 3},
                    TBadForm{"integer for string", kIntegerForString.c_str(), 3},
                    TBadForm{"string for integer", kStringForInteger.c_str(), 3},
                    TBadForm{"unknown enumeration value", kUnknownEnum.c_str(), 3},
                    TBadForm{"unknown set element", kUnknownSetElement.c_str(), 3},
                    TBadForm{"never-stored property", kUnstored.c_str(), 3},
                    TBadForm{"read-only property", kReadOnly.c_str(), 3},
                    TBadForm{"unknown handler", kUnknownHandler.c_str(), 4},
                    TBadForm{"unpublished handler", kUnpublishedHandler.c_str(), 3},
                    TBadForm{"handler of another type", kWrongHandlerType.c_str(), 4},
                    TBadForm{"integer out of range", kTooBig.c_str(), 3},
                    TBadForm{"integer past the property's type", kPastTheType.c_str(), 3},
                    TBadForm{"duplicate name", kDuplicateName.c_str(), 4},
                    TBadForm{"unknown class", kUnknownClass.c_str(), 4},
                    TBadForm{"class not creatable", kUncreatableClass.c_str(), 3},
                    TBadForm{"property after child objects", kLateProperty.c_str(), 4}));

TEST(FormReading, TheRootMustBeOfTheClassTheFileNames) {
    TPanelForm form(nullptr);
    EXPECT_THROW(ReadComponentText("object X: TGadget\nend\n", form), EReadError);
    EXPECT_EQ(form.Name(), "");
    EXPECT_THROW(CreateComponentFromText("object X: TNoSuchForm\nend\n"), EReadError);
}

TEST(FormReading, ChildNamesMayNotClashWithComponentsTheRootAlreadyOwns) {
    TPanelForm form(nullptr);
    new TGadget(&form);
    form.Components(0)->SetName("Taken");
    EXPECT_THROW(ReadComponentText("object TPanelForm\n  object taken: TGadget\n  end\nend", form),
                 EReadError);
    EXPECT_EQ(form.ComponentCount(), 1);
}

TEST(ClassRegistry, FindsClassesByNameIgnoringCase) {
    EXPECT_EQ(GetClass("tgadget"), &TGadget::StaticClass());
    EXPECT_EQ(&FindClass("TFancyGadget"), &TFancyGadget::StaticClass());
    EXPECT_EQ(GetClass("TNothing"), nullptr);
    EXPECT_THROW(FindClass("TNothing"), EClassNotFound);
}

TEST(ClassRegistry, TheLatestOfTwoClassesWithOneNameWinsUntilItIsRemoved) {
    const TClassInfo shadow{.Name = "TGadget", .Parent = &TComponent::StaticClass()};
    RegisterClass(shadow);
    RegisterClass(shadow);
    EXPECT_EQ(GetClass("TGadget"), &shadow);
    UnRegisterClass(shadow);
    EXPECT_EQ(GetClass("TGadget"), &TGadget::StaticClass());
    UnRegisterClass(shadow);
    EXPECT_EQ(GetClass("TGadget"), &TGadget::StaticClass());
}

}  // namespace
