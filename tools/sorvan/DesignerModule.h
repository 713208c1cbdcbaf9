// The design surface of the designer host: a container of non-visual
// components, the root of the form files it writes.
#pragma once

#include "framework/Classes.h"
#include "framework/TypInfo.h"

class TDataModule : public TComponent {
  public:
    explicit TDataModule(TComponent* AOwner) : TComponent(AOwner) {}
    static const TClassInfo& StaticClass();
    const TClassInfo& ClassType() const override { return StaticClass(); }
};
