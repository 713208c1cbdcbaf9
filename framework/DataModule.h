// TDataModule: a container of non-visual components, the root class of the
// form files that `sorvan designer new-form` writes.
//
// The framework registers the class by name while it is loaded, so any
// application can load such a form with CreateComponentFromFile and find its
// components by name:
//
//   auto form = CreateComponentFromFile("form.dfm");
//   auto* mic = dynamic_cast<TSorvanIn*>(form->FindComponent("Mic"));
#pragma once

#include "framework/Classes.h"
#include "framework/TypInfo.h"

class TDataModule : public TComponent {
  public:
    explicit TDataModule(TComponent* AOwner) : TComponent(AOwner) {}
    static const TClassInfo& StaticClass();
    const TClassInfo& ClassType() const override { return StaticClass(); }
};
