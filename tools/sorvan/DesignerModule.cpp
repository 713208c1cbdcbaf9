#include "tools/sorvan/DesignerModule.h"

const TClassInfo& TDataModule::StaticClass() {
    static const TClassInfo info{
        .Name = "TDataModule",
        .Parent = &TComponent::StaticClass(),
        .Create = [](TComponent* owner) -> TComponent* { return new TDataModule(owner); },
    };
    return info;
}
