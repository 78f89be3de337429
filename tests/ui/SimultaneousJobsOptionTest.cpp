// The preferences dialog keeps the "simultaneous conversions" choice: automatic by default, a
// count from one to the cores, and a damaged stored value shown as automatic.
#include "UiTestSupport.h"

#include "ConcurrencyPolicy.h"
#include "SettingsStore.h"
#include "frm_Options.h"

#include <QPushButton>
#include <QSpinBox>
#include <QTest>

namespace velto::test {
namespace {

using SimultaneousJobsOptionTest = DialogTest;

TEST_F(SimultaneousJobsOptionTest, AutomaticByDefaultAndTheChosenCountIsKept) {
    {
        TfrmOptions options(Services, SettingsFile, FactoryFile);
        EXPECT_EQ(options.spnSimultaneousJobs->value(), kAutomaticCount);
        EXPECT_EQ(options.spnSimultaneousJobs->minimum(), kAutomaticCount);
        EXPECT_EQ(options.spnSimultaneousJobs->maximum(), MachineCores());
        EXPECT_FALSE(options.spnSimultaneousJobs->specialValueText().isEmpty());
        options.spnSimultaneousJobs->setValue(1);
        options.show();
        QTest::mouseClick(options.btnOK, Qt::LeftButton);
        EXPECT_FALSE(options.isVisible());
    }
    EXPECT_EQ(TSettingsStore(SettingsFile).ReadOption(kSimultaneousJobsKey), "1");
    TfrmOptions again(Services, SettingsFile, FactoryFile);
    EXPECT_EQ(again.spnSimultaneousJobs->value(), 1);
}

TEST_F(SimultaneousJobsOptionTest, AStoredValueBeyondTheCoresShowsAsAutomatic) {
    ASSERT_TRUE(TSettingsStore(SettingsFile)
                    .SaveOption(kSimultaneousJobsKey, std::to_string(MachineCores() + 1)));
    TfrmOptions options(Services, SettingsFile, FactoryFile);
    EXPECT_EQ(options.spnSimultaneousJobs->value(), kAutomaticCount);
}

} // namespace
} // namespace velto::test
