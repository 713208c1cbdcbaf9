#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/TypInfo.h"

namespace {

// Records its own destruction in a shared journal.
class TTracked : public TComponent {
  public:
    TTracked(TComponent* owner, std::string tag, std::vector<std::string>& journal)
        : TComponent(owner), tag_(std::move(tag)), journal_(journal) {}
    ~TTracked() override { journal_.push_back(tag_); }

  private:
    std::string tag_;
    std::vector<std::string>& journal_;
};

TEST(ComponentLifetime, OwnerDestroysOwnedComponentsLastAddedFirst) {
    std::vector<std::string> journal;
    auto* owner = new TTracked(nullptr, "owner", journal);
    new TTracked(owner, "first", journal);
    auto* second = new TTracked(owner, "second", journal);
    new TTracked(second, "grandchild", journal);
    new TTracked(owner, "third", journal);

    delete owner;

    EXPECT_EQ(journal,
              (std::vector<std::string>{"owner", "third", "second", "grandchild", "first"}));
}

TEST(ComponentLifetime, DirectlyDestroyedComponentLeavesItsOwner) {
    std::vector<std::string> journal;
    TComponent owner(nullptr);
    auto* a = new TTracked(&owner, "a", journal);
    auto* b = new TTracked(&owner, "b", journal);
    ASSERT_EQ(owner.ComponentCount(), 2);

    delete a;

    EXPECT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(owner.Components(0), b);
    EXPECT_EQ(journal, std::vector<std::string>{"a"});
}

TEST(ComponentLifetime, ComponentDestroyingASiblingDuringTeardownIsSafe) {
    std::vector<std::string> journal;
    class TSiblingKiller : public TComponent {
      public:
        TSiblingKiller(TComponent* owner, TComponent*& victim)
            : TComponent(owner), victim_(victim) {}
        ~TSiblingKiller() override {
            delete victim_;
            victim_ = nullptr;
        }

      private:
        TComponent*& victim_;
    };
    auto* owner = new TComponent(nullptr);
    TComponent* victim = new TTracked(owner, "victim", journal);
    new TSiblingKiller(owner, victim);

    delete owner;

    EXPECT_EQ(journal, std::vector<std::string>{"victim"});
}

TEST(ComponentNames, FindComponentIgnoresCaseAndNamesMustBeUniqueIdentifiers) {
    TComponent owner(nullptr);
    auto* in = new TComponent(&owner);
    in->SetName("SorvanIn1");
    auto* out = new TComponent(&owner);
    out->SetName("SorvanOut1");

    EXPECT_EQ(owner.FindComponent("sorvanin1"), in);
    EXPECT_EQ(owner.FindComponent("SorvanOut1"), out);
    EXPECT_EQ(owner.FindComponent("Missing"), nullptr);
    EXPECT_EQ(owner.FindComponent(""), nullptr);

    EXPECT_THROW(out->SetName("SORVANIN1"), EComponentError);
    EXPECT_THROW(out->SetName("1st"), EComponentError);
    EXPECT_THROW(out->SetName("has space"), EComponentError);
    EXPECT_EQ(out->Name(), "SorvanOut1");
    EXPECT_THROW(owner.Components(2), EComponentError);
    EXPECT_THROW(owner.Components(-1), EComponentError);
}

TEST(ComponentNames, InsertComponentMovesBetweenOwners) {
    TComponent first(nullptr);
    TComponent second(nullptr);
    auto* child = new TComponent(&first);

    second.InsertComponent(child);

    EXPECT_EQ(first.ComponentCount(), 0);
    EXPECT_EQ(second.ComponentCount(), 1);
    EXPECT_EQ(child->Owner(), &second);
}

TEST(ComponentNames, ANameIsFreeAgainOnceItsComponentIsRenamedMovedOrDestroyed) {
    TComponent first(nullptr);
    TComponent second(nullptr);
    auto* a = new TComponent(&first);
    a->SetName("Alpha");
    a->SetName("ALPHA");
    EXPECT_EQ(first.FindComponent("alpha"), a);
    a->SetName("Beta");
    EXPECT_EQ(first.FindComponent("Alpha"), nullptr);
    (new TComponent(&first))->SetName("Alpha");

    second.InsertComponent(a);
    EXPECT_EQ(first.FindComponent("Beta"), nullptr);
    EXPECT_EQ(second.FindComponent("beta"), a);
    auto* clash = new TComponent(nullptr);
    clash->SetName("Beta");
    EXPECT_THROW(second.InsertComponent(clash), EComponentError);
    delete clash;

    delete a;
    EXPECT_EQ(second.FindComponent("Beta"), nullptr);
    (new TComponent(&second))->SetName("Beta");
    a = new TComponent(&second);
    a->SetName("Gamma");
    a->SetName("");
    EXPECT_EQ(second.FindComponent("Gamma"), nullptr);
}

TEST(ClassInfo, ComponentsKnowTheirClassAndAncestry) {
    TComponent component(nullptr);
    EXPECT_EQ(component.ClassName(), "TComponent");
    EXPECT_TRUE(component.InheritsFrom(TObject::StaticClass()));
    EXPECT_FALSE(TObject::StaticClass().InheritsFrom(TComponent::StaticClass()));

    TComponent* created = TComponent::StaticClass().Create(&component);
    EXPECT_EQ(created->Owner(), &component);
    EXPECT_EQ(component.ComponentCount(), 1);
}

}  // namespace
