// The slot list and the prompt seam's scripted answers, in the native build under sanitizers.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "lumivex/deviceapi.h"
#include "lumivex/prompt.h"

namespace {

struct Slot {
    int slot;
    std::string name;
    unsigned group;
};

#define LX_SLOT_ROW(slot, name, ret, params, args, group, stub, k, v) {slot, #name, group},
const Slot kSlots[] = {LX_DEVICE_API_SLOTS(LX_SLOT_ROW)};
#undef LX_SLOT_ROW

TEST(SlotList, SeventySixUniqueNamesInTableOrder) {
    ASSERT_EQ(sizeof(kSlots) / sizeof(kSlots[0]), 76u);
    std::set<std::string> names;
    for (size_t i = 0; i < 76; ++i) {
        EXPECT_EQ(kSlots[i].slot, static_cast<int>(i));
        EXPECT_TRUE(names.insert(kSlots[i].name).second) << kSlots[i].name;
    }
    EXPECT_EQ(kSlots[0].name, "gfslInit");
    EXPECT_EQ(kSlots[45].name, "gfslrewinddir");
    EXPECT_EQ(kSlots[65].name, "gfslDoSelfTest");
    EXPECT_EQ(kSlots[75].name, "fpGetFunctionProfilerAccumulated");
}

TEST(SlotList, GroupsFollowTheSlotRanges) {
    for (const Slot& s : kSlots) {
        unsigned expected = (s.slot >= 66)                                      ? LX_GROUP_PROFILER
                            : (s.slot >= 1 && s.slot <= 6) || (s.slot >= 26 && s.slot <= 54) ? LX_GROUP_FS
                                                                                 : LX_GROUP_DEVICE;
        EXPECT_EQ(s.group, expected) << s.name;
    }
}

// The stub column converted to each slot's result type gives the documented failure values.
TEST(SlotList, StubResultsConvertToTheDocumentedFailures) {
#define LX_STUB_CHECK(slot, name, ret, params, args, group, stub, k, v) (void)(ret)(stub);
    LX_DEVICE_API_SLOTS(LX_STUB_CHECK)
#undef LX_STUB_CHECK
    EXPECT_EQ(static_cast<uint64_t>(-1), 0xFFFFFFFFFFFFFFFFull); // slots 8, 74, 75
    EXPECT_EQ(static_cast<uint32_t>(-1), 0xFFFFFFFFu);           // unsigned counts
}

class PromptSeam : public ::testing::Test {
protected:
    void SetUp() override { LxPromptTestBegin(); LxPromptSetRules(""); }
    void TearDown() override { LxPromptSetRules(""); LxPromptTestEnd(); }
};

TEST_F(PromptSeam, DefaultButtonsByBoxType) {
    const struct { unsigned type; int answer; } cases[] = {
        {LX_MB_OK, LX_IDOK},
        {LX_MB_OKCANCEL, LX_IDOK},
        {LX_MB_OKCANCEL | LX_MB_DEFBUTTON2, LX_IDCANCEL},
        {LX_MB_YESNO, LX_IDYES},
        {LX_MB_YESNO | LX_MB_DEFBUTTON2, LX_IDNO},
        {LX_MB_YESNOCANCEL | LX_MB_DEFBUTTON3, LX_IDCANCEL},
        {LX_MB_ABORTRETRYIGNORE | LX_MB_DEFBUTTON2, LX_IDRETRY},
        {LX_MB_RETRYCANCEL, LX_IDRETRY},
        {0x30 /* icon bits do not matter */ | LX_MB_YESNO, LX_IDYES},
    };
    for (const auto& c : cases) EXPECT_EQ(LxPromptDefaultAnswer(c.type), c.answer) << c.type;
}

TEST_F(PromptSeam, QueueThenRulesThenDefault) {
    ASSERT_EQ(LxPromptSetRules("Are you sure=>no;overwrite=>cancel"), 0);
    LxPromptQueueAnswer(LX_IDYES);
    EXPECT_EQ(LxMessageBox(nullptr, "Are you sure?", "Lumivex", LX_MB_YESNO), LX_IDYES); // queued first
    EXPECT_EQ(LxMessageBox(nullptr, "Are you sure?", "Lumivex", LX_MB_YESNO), LX_IDNO);  // then the rule
    EXPECT_EQ(LxMessageBox(nullptr, "File exists, overwrite?", "Copy", LX_MB_OKCANCEL), LX_IDCANCEL);
    EXPECT_EQ(LxMessageBox(nullptr, "Export finished.", "Lumivex", LX_MB_OK), LX_IDOK);
    ASSERT_EQ(LxPromptRecordCount(), 4);
    EXPECT_STREQ(LxPromptRecordText(2), "File exists, overwrite?");
    EXPECT_STREQ(LxPromptRecordCaption(2), "Copy");
    EXPECT_EQ(LxPromptRecordType(2), static_cast<unsigned>(LX_MB_OKCANCEL));
    EXPECT_EQ(LxPromptRecordAnswer(3), LX_IDOK);
    EXPECT_EQ(LxPromptRecordText(4), nullptr);
}

TEST_F(PromptSeam, BadRulesAreRefusedAndKeepTheOldOnes) {
    ASSERT_EQ(LxPromptSetRules("sure=>yes"), 0);
    const char* bad[] = {"sure", "sure=>maybe", "x=>0", "x=>yes;y"};
    for (const char* b : bad) EXPECT_EQ(LxPromptSetRules(b), -1) << b;
    EXPECT_EQ(LxMessageBox(nullptr, "Are you sure?", "", LX_MB_YESNO | LX_MB_DEFBUTTON2), LX_IDYES);
}

} // namespace
