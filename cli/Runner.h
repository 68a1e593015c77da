// Test scripts: read, compile, resolve and run one script file against the
// target, with test mode already open.
#pragma once

// Every outcome is printed; a script with any error is not run at all.
void RunScript(const char* scriptName);
