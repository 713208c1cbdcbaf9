// A form written by `sorvan designer new-form` loads in an application that
// registers nothing itself: the framework knows its root class.
#include <gtest/gtest.h>

#include "components/Sorvan.h"
#include "framework/DataModule.h"
#include "framework/Streaming.h"

namespace {

// As the designer host writes it.
const char* const kDesignedForm =
    "object Studio: TDataModule\n"
    "  object Mic: TSorvanIn\n"
    "    FileName = 'it''s.wav'\n"
    "    channels = 2\n"
    "  end\n"
    "  object SorvanOut1: TSorvanOut\n"
    "    device = wvDevice2\n"
    "  end\n"
    "end\n";

TEST(DataModuleForm, LoadsWithItsComponentsAndWritesBackTheSame) {
    const auto form = CreateComponentFromText(kDesignedForm);
    ASSERT_NE(dynamic_cast<TDataModule*>(form.get()), nullptr);
    EXPECT_EQ(form->Name(), "Studio");

    const auto* mic = dynamic_cast<TSorvanIn*>(form->FindComponent("Mic"));
    ASSERT_NE(mic, nullptr);
    EXPECT_EQ(mic->FileName(), "it's.wav");
    EXPECT_EQ(mic->channels(), 2);
    const auto* out = dynamic_cast<TSorvanOut*>(form->FindComponent("SorvanOut1"));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->device(), wvDevice2);

    EXPECT_EQ(ComponentToText(*form), kDesignedForm);
}

}  // namespace
