#include <gtest/gtest.h>

#include <cstdint>

#include "framework/Classes.h"
#include "framework/Events.h"
#include "framework/Sets.h"
#include "framework/TypInfo.h"

namespace {

class TReceiver : public TComponent {
  public:
    using TComponent::TComponent;
    void Clicked(TObject* sender) {
        lastSender = sender;
        ++calls;
    }
    TObject* lastSender = nullptr;
    int calls = 0;
};

struct PlainReceiver {
    void Handle(TObject*) { ++calls; }
    int calls = 0;
};

TEST(MethodPointer, UnassignedUntilBound) {
    TNotifyEvent event;
    EXPECT_FALSE(event.Assigned());
    EXPECT_FALSE(event);
    event = nullptr;
    EXPECT_FALSE(event.Assigned());
}

TEST(MethodPointer, BoundToAnObjectCallsItsMemberWithTheSender) {
    TReceiver receiver(nullptr);
    TComponent sender(nullptr);
    TNotifyEvent event(&receiver, &TReceiver::Clicked, "Clicked");

    ASSERT_TRUE(event.Assigned());
    event(&sender);

    EXPECT_EQ(receiver.calls, 1);
    EXPECT_EQ(receiver.lastSender, &sender);
    EXPECT_EQ(event.Data(), &receiver);
    EXPECT_EQ(event.MethodName(), "Clicked");
}

TEST(MethodPointer, LambdasAndPlainObjectsCarryNoFrameworkObject) {
    int calls = 0;
    TNotifyEvent fromLambda = [&](TObject*) { ++calls; };
    PlainReceiver plain;
    TNotifyEvent fromPlain(&plain, &PlainReceiver::Handle);

    fromLambda(nullptr);
    fromPlain(nullptr);

    EXPECT_EQ(calls, 1);
    EXPECT_EQ(plain.calls, 1);
    EXPECT_EQ(fromLambda.Data(), nullptr);
    EXPECT_EQ(fromPlain.Data(), nullptr);
    EXPECT_TRUE(fromLambda.MethodName().empty());
}

TEST(MethodPointer, PublishedMethodBindsByNameAndChecksTheSignature) {
    using TDataEvent = TMethodPtr<void(TObject*, char*, std::int32_t)>;
    const TPublishedMethod published = typinfo::PublishedMethod("Clicked", &TReceiver::Clicked);
    TReceiver root(nullptr);

    const std::any bound = published.Bind(root);

    const auto* notify = std::any_cast<TNotifyEvent>(&bound);
    ASSERT_NE(notify, nullptr);
    EXPECT_EQ(notify->Data(), &root);
    EXPECT_EQ(notify->MethodName(), "Clicked");
    (*notify)(nullptr);
    EXPECT_EQ(root.calls, 1);
    EXPECT_EQ(std::any_cast<TDataEvent>(&bound), nullptr);
}

enum TColour : std::uint8_t { clRed, clGreen, clBlue, clBit7 = 7, clBit8 = 8 };

TEST(SetOfEnumeration, OneByteWithOrdinalNAsBitN) {
    static_assert(sizeof(TSet<TColour>) == 1);
    TSet<TColour> set{clRed, clBlue};

    EXPECT_EQ(set.Bits(), 0b101);
    EXPECT_TRUE(set.Contains(clBlue));
    EXPECT_FALSE(set.Contains(clGreen));
    set.Include(clBit7).Exclude(clRed);
    EXPECT_EQ(set.Bits(), 0b1000'0100);
    EXPECT_EQ(set + TSet<TColour>{clGreen}, TSet<TColour>::FromBits(0b1000'0110));
    EXPECT_EQ((set * TSet<TColour>{clBlue, clGreen}), TSet<TColour>{clBlue});
    EXPECT_EQ(set - TSet<TColour>{clBlue}, TSet<TColour>{clBit7});
    EXPECT_TRUE(TSet<TColour>{}.Empty());
    EXPECT_THROW(set.Include(clBit8), std::out_of_range);
}

}  // namespace
