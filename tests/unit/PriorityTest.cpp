// Thread priority requests, their refusal and the priority dump.
#include "serial/Priority.h"
#include "FrameFixture.h"
#include "frame/Faults.h"

#include <gmock/gmock.h>

using ::testing::HasSubstr;

class PriorityTest : public FrameTest {
  protected:
    void TearDown() override {
        DisarmFaults();
        RestoreNormalPriority();
        FrameTest::TearDown();
    }
};

TEST_F(PriorityTest, RequestCountsEvenWhenThePlatformRefuses) {
    ArmFault(Fault::ThreadPriority, 1);
    SetHighPriority(THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_FALSE(IsNormalPriority());
    EXPECT_THAT(ErrorTraceStarting("Error: SetHighPriority(15); SetHighPriority; Line "),
                HasSubstr(" in Priority; DBG_LEVEL_WARNING"));

    RestoreNormalPriority();
    EXPECT_TRUE(IsNormalPriority());

    ArmFault(Fault::ThreadPriority, 1);
    SetHighPriority(THREAD_PRIORITY_BELOW_NORMAL);
    EXPECT_FALSE(ErrorTraceStarting("Error: SetHighPriority(4294967295); ").empty());
}

TEST_F(PriorityTest, PriorityValuesMapOntoNiceValuesAndBack) {
    const int32_t threadValues[] = {-15, -2, -1, 0, 1, 2, 15};
    int previousNice = 20;
    for (int32_t value : threadValues) {
        const int nice = NiceOfThreadPriority(value);
        EXPECT_LT(nice, previousNice) << "higher priority, lower nice: " << value;
        EXPECT_EQ(ThreadPriorityOfNice(nice), value);
        previousNice = nice;
    }
    EXPECT_EQ(NiceOfThreadPriority(THREAD_PRIORITY_TIME_CRITICAL), -20);
    EXPECT_EQ(NiceOfThreadPriority(THREAD_PRIORITY_IDLE), 19);
    for (uint32_t cls : {IDLE_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS, HIGH_PRIORITY_CLASS,
                         REALTIME_PRIORITY_CLASS}) {
        EXPECT_EQ(PriorityClassOfNice(NiceOfPriorityClass(cls)), cls);
    }
    EXPECT_EQ(PriorityClassOfNice(0), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(PriorityClassOfNice(3), NORMAL_PRIORITY_CLASS);
}

TEST_F(PriorityTest, ProcessClassFailureIsReported) {
    ArmFault(Fault::ProcessPriority, 1);
    EXPECT_FALSE(SetProcessPriorityClass(NORMAL_PRIORITY_CLASS));
    EXPECT_TRUE(SetProcessPriorityClass(NORMAL_PRIORITY_CLASS)); // nice 0 is always allowed
    EXPECT_EQ(GetProcessPriorityClass(), NORMAL_PRIORITY_CLASS);
}

TEST_F(PriorityTest, DumpShowsTheValuesAndASavedClassOfZero) {
    ::testing::internal::CaptureStdout();
    ShowPriorities();
    const std::string shown = ::testing::internal::GetCapturedStdout();
    EXPECT_THAT(shown, HasSubstr("Class Priority: \n HIGH_PRIORITY_CLASS     : 128"
                                 "\n IDLE_PRIORITY_CLASS     : 64"));
    EXPECT_THAT(shown, HasSubstr("\n Saved PriorityClass.....: 0\n"
                                 "\n Current PriorityClass...: 32\nThread Priority: "));
    EXPECT_THAT(shown, HasSubstr("\n THREAD_PRIORITY_TIME_CRITICAL : 15"
                                 "\n ThreadPriority................: 0"));
}
