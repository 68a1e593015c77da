// `ulvex verify IMAGE -p PORT [-p PORT ...] -t TARGET`: the CRC32 the
// target computes over the image's range against the image's own, as
// vorn's VERIFYCRC gives them (cli/Verify.cpp), with a verdict: one board
// after another, each in its own test mode.
#pragma once

#include "TestMode.h"
#include "image/ImageFile.h"

#include <string>

namespace ulvex {

struct VerifyOptions {
    ImageChoice image;
    LinkOptions link;
};

int RunVerify(const VerifyOptions& options);

} // namespace ulvex
