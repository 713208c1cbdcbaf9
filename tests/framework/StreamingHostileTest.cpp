// Form files a hostile user crafts: nesting that would exhaust the stack,
// reads that fail part way, names and bytes meant to garble the message.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "StreamingTestClasses.h"
#include "framework/Streaming.h"

#ifndef _WIN32
#include <pthread.h>
#endif

namespace {

// A form of TGadgets each owning the next, `depth` levels below the root.
std::string NestedForm(int depth) {
    std::string text = "object Panel: TPanelForm\n";
    for (int level = 1; level <= depth; ++level)
        text += "object G" + std::to_string(level) + ": TGadget\n";
    for (int level = 0; level <= depth; ++level) text += "end\n";
    return text;
}

int ReadErrorLine(const std::string& text) {
    TPanelForm form(nullptr);
    try {
        ReadComponentText(text, form);
    } catch (const EReadError& e) {
        EXPECT_EQ(form.ComponentCount(), 0);
        EXPECT_THROW(CreateComponentFromText(text), EReadError);
        return e.Line();
    }
    return 0;
}

TEST(HostileForms, NestingIsBoundedAndTheLineOfTheObjectTooDeepIsNamed) {
    // The root is line 1 and level n is line n + 1.
    EXPECT_EQ(ReadErrorLine(NestedForm(MaxFormNesting + 1)), MaxFormNesting + 2);
    EXPECT_EQ(ReadErrorLine(NestedForm(20000)), MaxFormNesting + 2);
    // Unterminated: the depth is refused before the missing ends are noticed.
    std::string opened = "object Panel: TPanelForm\n";
    for (int i = 0; i < 30000; ++i) opened += "object TGadget\n";
    EXPECT_EQ(ReadErrorLine(opened), MaxFormNesting + 2);
}

TEST(HostileForms, TheDeepestFormAllowedIsReadWrittenAndDestroyed) {
    const std::string text = NestedForm(MaxFormNesting);
    auto read = CreateComponentFromText(text);
    const TComponent* deepest = read.get();
    for (int level = 1; level <= MaxFormNesting; ++level) {
        ASSERT_EQ(deepest->ComponentCount(), 1);
        deepest = deepest->Components(0);
    }
    EXPECT_EQ(deepest->Name(), "G" + std::to_string(MaxFormNesting));
    TPanelForm copy(nullptr);
    ReadComponentText(ComponentToText(*read), copy);
    EXPECT_EQ(ComponentToText(copy), ComponentToText(*read));
}

TEST(HostileForms, ATreeDeeperThanAFormHoldsIsNotWritten) {
    TPanelForm form(nullptr);
    TComponent* parent = &form;
    for (int level = 1; level <= MaxFormNesting + 1; ++level) parent = new TGadget(parent);
    EXPECT_THROW(ComponentToText(form), EFilerError);
}

#ifndef _WIN32
// Reading, writing and destroying the deepest form fits in a small stack, in
// every build type, the sanitizers' larger frames included.
TEST(HostileForms, TheDeepestFormFitsInASmallStack) {
    constexpr std::size_t stackSize = 256 * 1024;
    const auto work = [](void* done) -> void* {
        const std::string text = NestedForm(MaxFormNesting);
        *static_cast<bool*>(done) = ComponentToText(*CreateComponentFromText(text)).size() > 0;
        return nullptr;
    };
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, stackSize), 0);
    bool done = false;
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, work, &done), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_TRUE(done);
}
#endif

TEST(HostileForms, FoldersAndOversizedFilesAreRefusedAsUnreadable) {
    TPanelForm form(nullptr);
    const auto folder = std::filesystem::temp_directory_path();
    EXPECT_THROW(ReadComponentFile(folder.string(), form), EFOpenError);
    const auto path = folder / "sorvan-oversized-form.sfm";
    {
        std::ofstream file(path, std::ios::binary);
        file << "object TPanelForm\nend\n" << std::string(MaxFormFileSize, ' ');
    }
    EXPECT_THROW(CreateComponentFromFile(path.string()), EFOpenError);
    std::filesystem::resize_file(path, MaxFormFileSize);
    EXPECT_NO_THROW(ReadComponentFile(path.string(), form));
    std::filesystem::remove(path);
}

// A root with a name, values, a bound event and a component of its own.
class FailedRead : public testing::Test {
  protected:
    void SetUp() override {
        form.SetName("Before");
        form.SetTag(7);
        form.SetCaption("old");
        form.OnShow = TNotifyEvent(&form, &TPanelForm::GadgetFire, "GadgetFire");
        existing = new TGadget(&form);
        existing->SetName("Existing");
        existing->SetCaption("kept");
        before = ComponentToText(form);
    }

    void ExpectUnchanged() {
        EXPECT_EQ(ComponentToText(form), before);
        EXPECT_EQ(form.Tag(), 7);
        EXPECT_EQ(form.Caption(), "old");
        EXPECT_EQ(form.OnShow.MethodName(), "GadgetFire");
        ASSERT_EQ(form.ComponentCount(), 1);
        EXPECT_EQ(form.Components(0), existing);
    }

    TPanelForm form{nullptr};
    TGadget* existing = nullptr;
    std::string before;
};

TEST_F(FailedRead, AnEventOfTheWrongTypeIsRefusedBeforeAnythingIsSet) {
    const char* text =
        "object After: TPanelForm\n"
        "  Tag = 9\n"
        "  Caption = 'new'\n"
        "  OnShow = GadgetFire\n"
        "  object A: TGadget\n"
        "  end\n"
        "  object B: TGadget\n"
        "    OnFire = GadgetData\n"
        "  end\n"
        "end\n";
    try {
        ReadComponentText(text, form);
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Line(), 8);
        EXPECT_STREQ(e.what(), "Line 8: Method GadgetData does not fit event OnFire");
    }
    ExpectUnchanged();
}

TEST_F(FailedRead, ASetterThatRaisesPartWayLeavesTheRootAsItWas) {
    form.OnShow = nullptr;
    form.OnShow = [](TObject*) {};
    before = ComponentToText(form);
    EXPECT_THROW(ReadComponentText("object After: TPanelForm\n"
                                   "  Caption = 'new'\n"
                                   "  OnShow = GadgetFire\n"
                                   "  Tag = -1\n"
                                   "end\n",
                                   form),
                 ETagError);
    EXPECT_EQ(form.Caption(), "old");
    EXPECT_EQ(form.Name(), "Before");
    // The handler put back is the lambda, not a binding by name.
    EXPECT_TRUE(form.OnShow.Assigned());
    EXPECT_EQ(form.OnShow.MethodName(), "");

    form.OnShow = TNotifyEvent(&form, &TPanelForm::GadgetFire, "GadgetFire");
    before = ComponentToText(form);
    // Here the setter that raises belongs to a component the read created.
    EXPECT_THROW(ReadComponentText("object After: TPanelForm\n"
                                   "  Tag = 9\n"
                                   "  Caption = 'new'\n"
                                   "  object A: TGadget\n"
                                   "    object Inner: TGadget\n"
                                   "    end\n"
                                   "  end\n"
                                   "  object P: TPanelForm\n"
                                   "    Tag = -1\n"
                                   "  end\n"
                                   "end\n",
                                   form),
                 ETagError);
    ExpectUnchanged();
}

TEST_F(FailedRead, ANameTakenByAComponentsOwnPartIsABadFile) {
    // A box makes its own Lid when it is created; the file cannot name another one so.
    try {
        ReadComponentText(
            "object After: TPanelForm\n"
            "  Tag = 9\n"
            "  object Box: TGadgetBox\n"
            "    object Lid: TGadget\n"
            "    end\n"
            "  end\n"
            "end\n",
            form);
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Line 4: A component named Lid already exists");
    }
    ExpectUnchanged();
}

// One line, of a readable length, whatever bytes and names the file holds.
std::string ReadErrorMessage(const std::string& text) {
    try {
        CreateComponentFromText(text);
    } catch (const EReadError& e) {
        return e.what();
    }
    return "no error";
}

TEST(HostileForms, MessagesQuoteTheFileInOneShortLine) {
    const std::string huge(1000000, 'A');
    const std::string messages[] = {
        ReadErrorMessage("object TPanelForm\n  object X: " + huge + "\n  end\nend\n"),
        ReadErrorMessage("object " + huge + "\nend\n"),
        ReadErrorMessage("object TPanelForm\n  " + huge + " = 1\nend\n"),
        ReadErrorMessage("object TPanelForm\n  OnShow = " + huge + "\nend\n"),
        ReadErrorMessage("object TPanelForm\n  Tag = 1" + huge + "\nend\n"),
        ReadErrorMessage("object TPanelForm\n  Tag = " + std::string(100000, '9') + "\nend\n"),
        ReadErrorMessage("object TPanelForm\n  object G: TGadget\n  Mode = " + huge +
                         "\nend\nend\n"),
        ReadErrorMessage("object TPanelForm\n  object a: TGadget\n  end\n  object " + huge +
                         ": TGadget\n  end\n  object " + huge + ": TGadget\n  end\nend\n"),
    };
    for (const std::string& message : messages) {
        EXPECT_EQ(message.rfind("Line ", 0), 0u) << message.substr(0, 200);
        EXPECT_LT(message.size(), 200u) << message.substr(0, 200);
    }
    EXPECT_EQ(ReadErrorMessage(std::string("object TPanelForm\n\x01\nend\n")),
              "Line 2: Unexpected character #1");
    EXPECT_EQ(ReadErrorMessage(std::string("object TPanelForm\n\0\nend\n", 22)),
              "Line 2: Unexpected character #0");
    EXPECT_EQ(ReadErrorMessage("object TPanelForm\n\xff\nend\n"),
              "Line 2: Unexpected character #255");
    EXPECT_EQ(ReadErrorMessage("object TPanelForm\n;\nend\n"), "Line 2: Unexpected character ';'");
}

TEST(HostileForms, ThousandsOfComponentsAreReadOrUndoneInLinearTime) {
    // Every naming looks the name up among the siblings, and undoing a read
    // destroys what it made; with many siblings a wrong order of growth
    // shows as a time-out here.
    constexpr int count = 100000;
    std::string siblings;
    for (int i = 0; i < count; ++i) siblings += "object G" + std::to_string(i) + ": TGadget end\n";
    {
        TPanelForm form(nullptr);
        ReadComponentText("object TPanelForm\n" + siblings + "end\n", form);
        ASSERT_EQ(form.ComponentCount(), count);
        EXPECT_EQ(form.FindComponent("g99999"), form.Components(count - 1));
    }
    TPanelForm form(nullptr);
    EXPECT_THROW(
        ReadComponentText("object TPanelForm\n" + siblings + "object g0: TGadget end\nend\n", form),
        EReadError);
    EXPECT_THROW(
        ReadComponentText(
            "object TPanelForm\n" + siblings + "object P: TPanelForm Tag = -1 end\nend\n", form),
        ETagError);
    EXPECT_EQ(form.ComponentCount(), 0);
}

}  // namespace
