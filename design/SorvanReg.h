// Unit SorvanReg: puts TSorvanIn and TSorvanOut on the designer's palette and
// gives both the same two-verb component editor.
#pragma once

#include <string>

#include "framework/DesignIntf.h"

class TSorvanEditor : public TComponentEditor {
  public:
    using TComponentEditor::TComponentEditor;
    static const TComponentEditorClass& StaticEditorClass();
    const TComponentEditorClass& EditorClass() const override { return StaticEditorClass(); }

    // Index 0 gives the version caption, 1 the author; any other index an empty string.
    std::string GetVerb(int Index) override;
    int GetVerbCount() override;
};

namespace Sorvanreg {

// Called once by the designer after loading the design-time package.
void Register();

}  // namespace Sorvanreg
