// The four jobs of one Vorn run. Each returns the program's exit code.
#pragma once

#include "Options.h"

int RunProgrammingJob(const RunSettings& settings);
int RunUploadJob(RunSettings& settings);
int RunVerifyJob(RunSettings& settings);
int RunScriptJob(RunSettings& settings);
