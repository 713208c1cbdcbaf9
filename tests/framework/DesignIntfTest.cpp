#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StreamingTestClasses.h"
#include "framework/ClassRegistry.h"
#include "framework/DesignIntf.h"

namespace {

class TCountingEditor : public TComponentEditor {
  public:
    using TComponentEditor::TComponentEditor;
    static const TComponentEditorClass& StaticEditorClass() {
        static const TComponentEditorClass c{"TCountingEditor", CreateEditor<TCountingEditor>};
        return c;
    }
    const TComponentEditorClass& EditorClass() const override { return StaticEditorClass(); }
    int GetVerbCount() override { return 2; }
    std::string GetVerb(int Index) override { return Index == 0 ? "Count" : "Reset"; }
    void ExecuteVerb(int Index) override { Executed.push_back(Index); }

    std::vector<int> Executed;
};

class TOtherEditor : public TComponentEditor {
  public:
    using TComponentEditor::TComponentEditor;
    static const TComponentEditorClass& StaticEditorClass() {
        static const TComponentEditorClass c{"TOtherEditor", CreateEditor<TOtherEditor>};
        return c;
    }
    const TComponentEditorClass& EditorClass() const override { return StaticEditorClass(); }
};

// Every test starts from an empty designer registry and leaves one behind.
class Designer : public testing::Test {
  protected:
    void TearDown() override {
        UnRegisterDesignItems([](const void*) { return true; });
    }
};

TEST_F(Designer, TheBaseEditorHasNoVerbsAndEditDoesNothing) {
    TGadget gadget(nullptr);
    const auto editor = GetComponentEditor(&gadget, nullptr);
    EXPECT_EQ(&editor->EditorClass(), &TComponentEditor::StaticEditorClass());
    EXPECT_EQ(editor->GetVerbCount(), 0);
    EXPECT_EQ(editor->GetVerb(0), "");
    TMenuItem item{.Caption = "x"};
    editor->PrepareItem(0, item);
    EXPECT_EQ(item.Caption, "x");
    editor->Edit();
    editor->Copy();
    EXPECT_EQ(editor->Component(), &gadget);
}

TEST_F(Designer, EditRunsTheFirstVerb) {
    TGadget gadget(nullptr);
    TCountingEditor editor(&gadget, nullptr);
    editor.Edit();
    EXPECT_EQ(editor.Executed, std::vector<int>{0});
}

TEST_F(Designer, EditorsAreFoundForTheNearestRegisteredAncestorTheLatestWinning) {
    RegisterComponentEditor(TGadget::StaticClass(), TCountingEditor::StaticEditorClass());
    TFancyGadget fancy(nullptr);
    TPanelForm form(nullptr);
    EXPECT_EQ(FindComponentEditorClass(TFancyGadget::StaticClass()),
              &TCountingEditor::StaticEditorClass());
    EXPECT_EQ(FindComponentEditorClass(TPanelForm::StaticClass()), nullptr);
    EXPECT_EQ(GetComponentEditor(&fancy, nullptr)->GetVerb(1), "Reset");

    RegisterComponentEditor(TFancyGadget::StaticClass(), TOtherEditor::StaticEditorClass());
    RegisterComponentEditor(TGadget::StaticClass(), TCountingEditor::StaticEditorClass());
    EXPECT_EQ(FindComponentEditorClass(TFancyGadget::StaticClass()),
              &TOtherEditor::StaticEditorClass());
    RegisterComponentEditor(TFancyGadget::StaticClass(), TCountingEditor::StaticEditorClass());
    EXPECT_EQ(FindComponentEditorClass(TFancyGadget::StaticClass()),
              &TCountingEditor::StaticEditorClass());
}

TEST_F(Designer, PalettePagesKeepTheirOrderAndRegisterTheClassesForStreaming) {
    const TClassInfo fresh{.Name = "TFreshGadget", .Parent = &TGadget::StaticClass()};
    RegisterComponents("Tools", {&TGadget::StaticClass(), &fresh});
    RegisterComponents("Extras", {&TFancyGadget::StaticClass()});
    RegisterComponents("Tools", {&TGadget::StaticClass(), &TPanelForm::StaticClass()});

    const auto pages = PalettePages();
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].Name, "Tools");
    EXPECT_EQ(pages[0].Classes, (std::vector<const TClassInfo*>{&TGadget::StaticClass(), &fresh,
                                                                &TPanelForm::StaticClass()}));
    EXPECT_EQ(pages[1].Name, "Extras");
    EXPECT_EQ(GetClass("TFreshGadget"), &fresh);
    UnRegisterClass(fresh);
}

TEST_F(Designer, AHostCanRouteRegistrationsElsewhere) {
    std::vector<std::string> calls;
    const auto savedComponents = RegisterComponentsProc;
    const auto savedEditor = RegisterComponentEditorProc;
    RegisterComponentsProc = [&](const std::string& page, std::span<const TClassInfo* const> c) {
        calls.push_back(page + ":" + std::to_string(c.size()));
    };
    RegisterComponentEditorProc = [&](const TClassInfo& c, const TComponentEditorClass& e) {
        calls.push_back(std::string(c.Name) + "->" + std::string(e.Name));
    };
    RegisterComponents("Tools", {&TGadget::StaticClass()});
    RegisterComponentEditor(TGadget::StaticClass(), TOtherEditor::StaticEditorClass());
    RegisterComponentsProc = savedComponents;
    RegisterComponentEditorProc = savedEditor;

    EXPECT_EQ(calls, (std::vector<std::string>{"Tools:1", "TGadget->TOtherEditor"}));
    EXPECT_TRUE(PalettePages().empty());
}

TEST_F(Designer, ItemsOfAnUnloadedModuleAreRemoved) {
    RegisterComponents("Tools", {&TGadget::StaticClass(), &TFancyGadget::StaticClass()});
    RegisterComponentEditor(TFancyGadget::StaticClass(), TOtherEditor::StaticEditorClass());
    RegisterComponentEditor(TGadget::StaticClass(), TCountingEditor::StaticEditorClass());

    UnRegisterDesignItems([](const void* item) {
        return item == &TFancyGadget::StaticClass() ||
               item == &TCountingEditor::StaticEditorClass();
    });

    const auto pages = PalettePages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].Classes, std::vector<const TClassInfo*>{&TGadget::StaticClass()});
    EXPECT_EQ(FindComponentEditorClass(TGadget::StaticClass()), nullptr);
}

}  // namespace
