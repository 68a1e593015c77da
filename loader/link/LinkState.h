// The link state a session or test mode starts from.
#pragma once

// Resets the link state at the start of a session or test mode. Control-line
// states survive: a host may set them before the port opens.
void ResetLinkState();
