#include "design/SorvanReg.h"

#include "components/Sorvan.h"

const TComponentEditorClass& TSorvanEditor::StaticEditorClass() {
    static const TComponentEditorClass editorClass{.Name = "TSorvanEditor",
                                                   .Create = CreateEditor<TSorvanEditor>};
    return editorClass;
}

std::string TSorvanEditor::GetVerb(int Index) {
    switch (Index) {
        case 0:
            return "TSorvan version 2.06";
        case 1:
            return "By Vandrell";
        default:
            return {};
    }
}

int TSorvanEditor::GetVerbCount() {
    return 2;
}

namespace Sorvanreg {

void Register() {
    RegisterComponents("Tarvik", {&TSorvanIn::StaticClass(), &TSorvanOut::StaticClass()});
    RegisterComponentEditor(TSorvanIn::StaticClass(), TSorvanEditor::StaticEditorClass());
    RegisterComponentEditor(TSorvanOut::StaticClass(), TSorvanEditor::StaticEditorClass());
}

}  // namespace Sorvanreg
