// The script job: test mode is opened (with a monitor started through the
// boot loader unless MONITORLOAD=OFF says one already runs), the script
// runs, and test mode ends with its stop indication and the port closed.
#include "Jobs.h"
#include "Runner.h"
#include "TestModeMonitor.h"

int RunScriptJob(RunSettings& settings) {
    if (settings.monitorLoad == LINE_OFF) {
        if (!OpenTestModePort(settings)) {
            return 0;
        }
        ApplyControlLines(settings);
    } else if (!StartTestModeMonitor(settings)) {
        return 0;
    }
    RunScript(settings.scriptName);
    EndTestMode();
    return 0;
}
