// Programmer families that are not built yet. Each entry sends nothing and
// reports failure; the session still ends with the port closed and its stop
// indication. A family's real module replaces its entry here.
#include "Programmers.h"

int ProgMervSession(const SessionParams&) {
    return 1;
}
int AtMega128Session(const SessionParams&) {
    return 1;
}
int Ml675001FlashSession(const SessionParams&) {
    return 1;
}
int Ml675001RamSession(const SessionParams&) {
    return 1;
}
int S3c44b0xSession(const SessionParams&) {
    return 1;
}
