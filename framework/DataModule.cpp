#include "framework/DataModule.h"

#include "framework/ClassRegistry.h"

const TClassInfo& TDataModule::StaticClass() {
    static const TClassInfo info{
        .Name = "TDataModule",
        .Parent = &TComponent::StaticClass(),
        .Create = [](TComponent* owner) -> TComponent* { return new TDataModule(owner); },
    };
    return info;
}

namespace {

// Form files name their root class; this one is known from the start.
struct TDataModuleRegistration {
    TDataModuleRegistration() { RegisterClass(TDataModule::StaticClass()); }
    ~TDataModuleRegistration() { UnRegisterClass(TDataModule::StaticClass()); }
    TDataModuleRegistration(const TDataModuleRegistration&) = delete;
    TDataModuleRegistration& operator=(const TDataModuleRegistration&) = delete;
};

const TDataModuleRegistration registration;

}  // namespace
