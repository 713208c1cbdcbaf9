// Small component classes for the streaming tests: one of every property kind.
#pragma once

#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/Events.h"
#include "framework/Sets.h"
#include "framework/TypInfo.h"

enum class TGadgetMode { gmOff, gmLow, gmHigh };
enum class TGadgetCap { gcMono, gcStereo, gcLoud };
using TGadgetCaps = TSet<TGadgetCap>;
using TGadgetDataEvent = TMethodPtr<void(TObject* Sender, void* Data, int Size)>;

// Every setter call of every gadget, in call order: "Name.Property=value".
std::vector<std::string>& SetterJournal();

class TGadget : public TComponent {
  public:
    explicit TGadget(TComponent* AOwner) : TComponent(AOwner) {}
    static const TClassInfo& StaticClass();
    const TClassInfo& ClassType() const override { return StaticClass(); }

    int Count() const { return FCount; }
    void SetCount(int value);
    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& value);
    TGadgetMode Mode() const { return FMode; }
    void SetMode(TGadgetMode value);
    // Computed, never stored; its setter ignores the value.
    TGadgetCaps Caps() const { return FCaps; }
    void SetCaps(TGadgetCaps) {}
    int Serial() const { return 77; }

    TGadgetCaps FCaps{TGadgetCap::gcStereo};
    TNotifyEvent OnFire;
    TGadgetDataEvent OnData;

  private:
    int FCount = 5;
    std::string FCaption;
    TGadgetMode FMode = TGadgetMode::gmOff;
};

// A gadget with a set property that is stored, and no default for Level.
class TFancyGadget : public TGadget {
  public:
    using TGadget::TGadget;
    static const TClassInfo& StaticClass();
    const TClassInfo& ClassType() const override { return StaticClass(); }

    TGadgetCaps Flags() const { return FFlags; }
    void SetFlags(TGadgetCaps value) { FFlags = value; }
    int Level() const { return FLevel; }
    void SetLevel(int value) { FLevel = value; }

  private:
    TGadgetCaps FFlags;
    int FLevel = 0;
};

// What TPanelForm's Tag setter raises for a negative tag.
class ETagError : public Exception {
  public:
    using Exception::Exception;
};

// The form class: publishes the methods that events may be bound to, and has
// properties of its own that a form file sets.
class TPanelForm : public TComponent {
  public:
    explicit TPanelForm(TComponent* AOwner) : TComponent(AOwner) {}
    static const TClassInfo& StaticClass();
    const TClassInfo& ClassType() const override { return StaticClass(); }

    void GadgetFire(TObject* Sender) { Fired.push_back(Sender); }
    void GadgetData(TObject*, void*, int size) { DataSizes.push_back(size); }
    void Unpublished(TObject*) {}

    int Tag() const { return FTag; }
    // Raises ETagError for a negative tag, as a setter of an application's class may.
    void SetTag(int value);
    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& value) { FCaption = value; }

    std::vector<TObject*> Fired;
    std::vector<int> DataSizes;
    TNotifyEvent OnShow;

  private:
    int FTag = 0;
    std::string FCaption;
};

// A gadget that makes a gadget of its own, named Lid, when it is created.
class TGadgetBox : public TGadget {
  public:
    explicit TGadgetBox(TComponent* AOwner);
    static const TClassInfo& StaticClass();
    const TClassInfo& ClassType() const override { return StaticClass(); }
};

// A class that form files may not create (no Create function).
class TFixedGadget : public TComponent {
  public:
    using TComponent::TComponent;
    static const TClassInfo& StaticClass();
    const TClassInfo& ClassType() const override { return StaticClass(); }
};
