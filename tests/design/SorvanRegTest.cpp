#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "components/Sorvan.h"
#include "design/SorvanReg.h"

namespace {

// Routes the designer's registration calls to a journal while it lives.
class TRegistrationJournal {
  public:
    TRegistrationJournal()
        : savedComponents_(RegisterComponentsProc), savedEditor_(RegisterComponentEditorProc) {
        RegisterComponentsProc = [this](const std::string& page,
                                        std::span<const TClassInfo* const> classes) {
            std::string entry = "RegisterComponents " + page + ":";
            // Appended, not " " + ...: GCC 12 fails Release builds on that
            // with a false -Werror=restrict.
            for (const TClassInfo* c : classes) entry.append(" ").append(c->Name);
            Calls.push_back(entry);
        };
        RegisterComponentEditorProc = [this](const TClassInfo& c, const TComponentEditorClass& e) {
            Calls.push_back("RegisterComponentEditor " + std::string(c.Name) + " " +
                            std::string(e.Name));
        };
    }
    ~TRegistrationJournal() {
        RegisterComponentsProc = savedComponents_;
        RegisterComponentEditorProc = savedEditor_;
    }

    std::vector<std::string> Calls;

  private:
    TRegisterComponentsProc savedComponents_;
    TRegisterComponentEditorProc savedEditor_;
};

const std::vector<std::string> kRegisterCalls{
    "RegisterComponents Tarvik: TSorvanIn TSorvanOut",
    "RegisterComponentEditor TSorvanIn TSorvanEditor",
    "RegisterComponentEditor TSorvanOut TSorvanEditor",
};

TEST(SorvanRegister, MakesTheThreeRegistrationCallsInOrderAndKeepsNoState) {
    TRegistrationJournal journal;
    Sorvanreg::Register();
    EXPECT_EQ(journal.Calls, kRegisterCalls);
    Sorvanreg::Register();
    std::vector<std::string> twice = kRegisterCalls;
    twice.insert(twice.end(), kRegisterCalls.begin(), kRegisterCalls.end());
    EXPECT_EQ(journal.Calls, twice);
}

class SorvanDesigner : public testing::Test {
  protected:
    void SetUp() override { Sorvanreg::Register(); }
    void TearDown() override {
        UnRegisterDesignItems([](const void*) { return true; });
    }
};

TEST_F(SorvanDesigner, BothComponentsAreOnTheTarvikPageInOrder) {
    const auto pages = PalettePages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].Name, "Tarvik");
    EXPECT_EQ(pages[0].Classes, (std::vector<const TClassInfo*>{&TSorvanIn::StaticClass(),
                                                                &TSorvanOut::StaticClass()}));
}

TEST_F(SorvanDesigner, BothComponentsGetTheSameEditorWithTheSameTwoVerbs) {
    TComponent form(nullptr);
    std::vector<TComponent*> components{new TSorvanIn(&form), new TSorvanOut(&form)};
    for (TComponent* component : components) {
        const auto editor = GetComponentEditor(component, nullptr);
        EXPECT_EQ(&editor->EditorClass(), &TSorvanEditor::StaticEditorClass());
        ASSERT_EQ(editor->GetVerbCount(), 2);
        EXPECT_EQ(editor->GetVerb(0), "TSorvan version 2.06");
        EXPECT_EQ(editor->GetVerb(1), "By Vandrell");
        EXPECT_EQ(editor->Component(), component);
    }
}

TEST(SorvanEditor, AnyOtherVerbIndexGivesAnEmptyCaption) {
    TSorvanEditor editor(nullptr, nullptr);
    for (const int index : {-1, 2, 3, 1000}) EXPECT_EQ(editor.GetVerb(index), "") << index;
}

TEST(SorvanEditor, VerbsAndEditCarryNoActionAndLeaveMenuItemsAlone) {
    TSorvanOut player(nullptr);
    player.SetChannels(2);
    TSorvanEditor editor(&player, nullptr);
    editor.Edit();
    editor.ExecuteVerb(0);
    editor.ExecuteVerb(1);
    TMenuItem item{.Caption = editor.GetVerb(0)};
    editor.PrepareItem(0, item);
    EXPECT_EQ(item.Caption, "TSorvan version 2.06");
    EXPECT_TRUE(item.Enabled);
    EXPECT_EQ(player.channels(), 2);
}

}  // namespace
