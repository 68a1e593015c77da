// The script job. Test scripts are not run by this version yet: say so and
// end normally, without touching the port.
#include "Jobs.h"

#include <cstdio>

int RunScriptJob(RunSettings& settings) {
    printf("\n### Script files are not supported by this version: %s ###\n", settings.scriptName);
    return 0;
}
