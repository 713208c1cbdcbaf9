// The design-time package in a process that never loads the run-time package.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LoadedModules.h"
#include "framework/ClassRegistry.h"
#include "framework/DesignIntf.h"
#include "framework/Packages.h"

namespace {

TEST(SorvandtAlone, LoadsAndRegistersWithoutTheRunTimePackage) {
    ASSERT_FALSE(ModuleLoaded("sorvanrt"));
    {
        const TPackage package(SORVANDT_PATH);
        package.Register();
        EXPECT_FALSE(ModuleLoaded("sorvanrt"));

        const auto pages = PalettePages();
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].Name, "Tarvik");
        ASSERT_EQ(pages[0].Classes.size(), 2u);
        EXPECT_EQ(pages[0].Classes[0]->Name, "TSorvanIn");
        EXPECT_EQ(pages[0].Classes[1]->Name, "TSorvanOut");

        // The designer drops both components and opens their context menus.
        TComponent form(nullptr);
        for (const char* className : {"TSorvanIn", "TSorvanOut"}) {
            const TClassInfo& componentClass = FindClass(className);
            EXPECT_TRUE(package.Contains(&componentClass));
            TComponent* component = componentClass.Create(&form);
            const auto editor = GetComponentEditor(component, nullptr);
            EXPECT_EQ(editor->EditorClass().Name, "TSorvanEditor");
            ASSERT_EQ(editor->GetVerbCount(), 2);
            EXPECT_EQ(editor->GetVerb(0), "TSorvan version 2.06");
            EXPECT_EQ(editor->GetVerb(1), "By Vandrell");
            EXPECT_EQ(editor->GetVerb(2), "");
        }
    }
    // Unloading takes the package's palette entries and editors with it.
    EXPECT_TRUE(PalettePages().empty());
    EXPECT_FALSE(ModuleLoaded("sorvanrt"));
}

TEST(SorvandtAlone, CanBeLoadedAgainAfterItWasUnloaded) {
    for (int round = 0; round < 2; ++round) {
        const TPackage package(SORVANDT_PATH);
        package.Register();
        ASSERT_EQ(PalettePages().size(), 1u);
        TComponent form(nullptr);
        TComponent* player = FindClass("TSorvanOut").Create(&form);
        EXPECT_EQ(GetComponentEditor(player, nullptr)->GetVerbCount(), 2);
    }
    EXPECT_TRUE(PalettePages().empty());
}

TEST(SorvandtAlone, RegisterMakesItsThreeCallsInOrder) {
    std::vector<std::string> calls;
    const auto savedComponents = RegisterComponentsProc;
    const auto savedEditor = RegisterComponentEditorProc;
    RegisterComponentsProc = [&](const std::string& page,
                                 std::span<const TClassInfo* const> classes) {
        std::string entry = page + ":";
        // Appended, not " " + ...: GCC 12 fails Release builds on that
        // with a false -Werror=restrict.
        for (const TClassInfo* c : classes) entry.append(" ").append(c->Name);
        calls.push_back(entry);
    };
    RegisterComponentEditorProc = [&](const TClassInfo& c, const TComponentEditorClass& e) {
        calls.push_back(std::string(c.Name) + " -> " + std::string(e.Name));
    };
    {
        const TPackage package(SORVANDT_PATH);
        package.Register();
    }
    RegisterComponentsProc = savedComponents;
    RegisterComponentEditorProc = savedEditor;

    EXPECT_EQ(calls, (std::vector<std::string>{"Tarvik: TSorvanIn TSorvanOut",
                                               "TSorvanIn -> TSorvanEditor",
                                               "TSorvanOut -> TSorvanEditor"}));
}

}  // namespace
