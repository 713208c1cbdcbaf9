#include "framework/DesignIntf.h"

#include <algorithm>
#include <mutex>

#include "framework/ClassRegistry.h"

namespace {

struct TEditorRegistration {
    const TClassInfo* ComponentClass;
    const TComponentEditorClass* EditorClass;
};

struct TDesignRegistry {
    std::mutex Lock;
    std::vector<TPalettePage> Pages;
    std::vector<TEditorRegistration> Editors;
};

TDesignRegistry& Registry() {
    static TDesignRegistry registry;
    return registry;
}

void AddToPalette(const std::string& page, std::span<const TClassInfo* const> classes) {
    for (const TClassInfo* c : classes) RegisterClass(*c);
    auto& registry = Registry();
    const std::lock_guard guard(registry.Lock);
    auto found = std::find_if(registry.Pages.begin(), registry.Pages.end(),
                              [&](const TPalettePage& p) { return p.Name == page; });
    if (found == registry.Pages.end()) {
        registry.Pages.push_back({.Name = page});
        found = registry.Pages.end() - 1;
    }
    for (const TClassInfo* c : classes) {
        if (std::find(found->Classes.begin(), found->Classes.end(), c) == found->Classes.end()) {
            found->Classes.push_back(c);
        }
    }
}

void AddEditor(const TClassInfo& componentClass, const TComponentEditorClass& editor) {
    auto& registry = Registry();
    const std::lock_guard guard(registry.Lock);
    registry.Editors.push_back({&componentClass, &editor});
}

// How many generations separate a class from its ancestor.
int Distance(const TClassInfo& descendant, const TClassInfo& ancestor) {
    int distance = 0;
    for (const TClassInfo* c = &descendant; c != &ancestor; c = c->Parent) ++distance;
    return distance;
}

}  // namespace

TRegisterComponentsProc RegisterComponentsProc = AddToPalette;
TRegisterComponentEditorProc RegisterComponentEditorProc = AddEditor;

TComponentEditor::TComponentEditor(TComponent* AComponent, IDesigner* ADesigner)
    : FComponent(AComponent), FDesigner(ADesigner) {}

const TComponentEditorClass& TComponentEditor::StaticEditorClass() {
    static const TComponentEditorClass editorClass{.Name = "TComponentEditor",
                                                   .Create = CreateEditor<TComponentEditor>};
    return editorClass;
}

void TComponentEditor::Edit() {
    if (GetVerbCount() > 0) ExecuteVerb(0);
}

void TComponentEditor::ExecuteVerb(int) {}

std::string TComponentEditor::GetVerb(int) {
    return {};
}

int TComponentEditor::GetVerbCount() {
    return 0;
}

void TComponentEditor::PrepareItem(int, TMenuItem&) {}

void TComponentEditor::Copy() {}

void RegisterComponents(const std::string& Page, std::initializer_list<const TClassInfo*> Classes) {
    RegisterComponentsProc(Page, std::span(Classes.begin(), Classes.size()));
}

void RegisterComponentEditor(const TClassInfo& ComponentClass,
                             const TComponentEditorClass& ComponentEditor) {
    RegisterComponentEditorProc(ComponentClass, ComponentEditor);
}

std::vector<TPalettePage> PalettePages() {
    auto& registry = Registry();
    const std::lock_guard guard(registry.Lock);
    return registry.Pages;
}

const TComponentEditorClass* FindComponentEditorClass(const TClassInfo& componentClass) {
    auto& registry = Registry();
    const std::lock_guard guard(registry.Lock);
    const TEditorRegistration* best = nullptr;
    for (const TEditorRegistration& r : registry.Editors) {
        if (!componentClass.InheritsFrom(*r.ComponentClass)) continue;
        if (best == nullptr || Distance(componentClass, *r.ComponentClass) <=
                                   Distance(componentClass, *best->ComponentClass)) {
            best = &r;
        }
    }
    return best == nullptr ? nullptr : best->EditorClass;
}

std::unique_ptr<TComponentEditor> GetComponentEditor(TComponent* AComponent, IDesigner* ADesigner) {
    const TComponentEditorClass* editorClass = FindComponentEditorClass(AComponent->ClassType());
    if (editorClass == nullptr) editorClass = &TComponentEditor::StaticEditorClass();
    return editorClass->Create(AComponent, ADesigner);
}

void UnRegisterDesignItems(const std::function<bool(const void* registeredItem)>& fromModule) {
    auto& registry = Registry();
    const std::lock_guard guard(registry.Lock);
    for (TPalettePage& page : registry.Pages) {
        std::erase_if(page.Classes, [&](const TClassInfo* c) { return fromModule(c); });
    }
    std::erase_if(registry.Pages, [](const TPalettePage& p) { return p.Classes.empty(); });
    std::erase_if(registry.Editors, [&](const TEditorRegistration& r) {
        return fromModule(r.ComponentClass) || fromModule(r.EditorClass);
    });
}
