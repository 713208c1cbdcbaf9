// Design-time interfaces: component editors and the designer's registry of
// palette pages and editors, which design-time packages fill from their
// Register procedure.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Classes.h"
#include "framework/TypInfo.h"

// An entry of a component's context menu, as the designer is about to show it.
struct TMenuItem {
    std::string Caption;
    bool Enabled = true;
    bool Visible = true;
    bool Checked = false;
};

// The form designer a component editor works for.
class IDesigner {
  public:
    virtual ~IDesigner() = default;
    // The component being designed: the form or data module.
    virtual TComponent* GetRoot() = 0;
    // Tells the designer that the edited component changed.
    virtual void Modified() = 0;
};

class TComponentEditor;

// What RegisterComponentEditor is given: an editor class, created for each
// selected component.
struct TComponentEditorClass {
    std::string_view Name;
    std::unique_ptr<TComponentEditor> (*Create)(TComponent* AComponent, IDesigner* ADesigner);
};

// The base editor: no verbs; Edit runs the first verb when there is one.
// Descendants override the operations below, which keep this order.
class TComponentEditor : public TObject {
  public:
    // The constructor fills the Create slot: a descendant's StaticEditorClass
    // creates it through its own constructor.
    TComponentEditor(TComponent* AComponent, IDesigner* ADesigner);
    static const TComponentEditorClass& StaticEditorClass();
    virtual const TComponentEditorClass& EditorClass() const { return StaticEditorClass(); }

    virtual void Edit();
    virtual void ExecuteVerb(int Index);
    // The caption of verb Index; empty when the editor has no such verb.
    virtual std::string GetVerb(int Index);
    virtual int GetVerbCount();
    virtual void PrepareItem(int Index, TMenuItem& AItem);
    virtual void Copy();

    TComponent* Component() const { return FComponent; }
    IDesigner* Designer() const { return FDesigner; }

  private:
    TComponent* FComponent;
    IDesigner* FDesigner;
};

// The creation function of an editor class E whose constructor takes (component, designer).
template <class E>
std::unique_ptr<TComponentEditor> CreateEditor(TComponent* AComponent, IDesigner* ADesigner) {
    return std::make_unique<E>(AComponent, ADesigner);
}

// Puts the classes on a palette page (created on first use) in the order
// given, and registers them for form streaming.
void RegisterComponents(const std::string& Page, std::initializer_list<const TClassInfo*> Classes);
// The designer creates an editor of this class for every selected instance
// of the component class or of its descendants; a later registration for
// the same class wins.
void RegisterComponentEditor(const TClassInfo& ComponentClass,
                             const TComponentEditorClass& ComponentEditor);

// Where the two calls above go: the designer's own registry unless a host
// routes them elsewhere (for instance to watch what a package registers).
using TRegisterComponentsProc =
    std::function<void(const std::string& page, std::span<const TClassInfo* const> classes)>;
using TRegisterComponentEditorProc =
    std::function<void(const TClassInfo& componentClass, const TComponentEditorClass& editor)>;
extern TRegisterComponentsProc RegisterComponentsProc;
extern TRegisterComponentEditorProc RegisterComponentEditorProc;

struct TPalettePage {
    std::string Name;
    std::vector<const TClassInfo*> Classes;
};

// The palette pages in the order they were first used.
std::vector<TPalettePage> PalettePages();
// The editor class registered for the class or its nearest ancestor; null when none is.
const TComponentEditorClass* FindComponentEditorClass(const TClassInfo& componentClass);
// An editor for the component: the registered one, else the base editor.
std::unique_ptr<TComponentEditor> GetComponentEditor(TComponent* AComponent, IDesigner* ADesigner);

// Removes every palette entry and editor registration that the predicate
// picks; used when the package that registered them is unloaded.
void UnRegisterDesignItems(const std::function<bool(const void* registeredItem)>& fromModule);
