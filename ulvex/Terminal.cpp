#include "Terminal.h"

#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ulvex {

bool OutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

int TerminalWidth() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    if (const char* columns = std::getenv("COLUMNS")) {
        const int n = std::atoi(columns);
        if (n > 0) {
            return n;
        }
    }
    return 80;
}

bool ColoursWanted() {
    const char* noColour = std::getenv("NO_COLOR");
    const char* term = std::getenv("TERM");
    if (noColour != nullptr && noColour[0] != '\0') {
        return false;
    }
    if (term == nullptr || std::strcmp(term, "dumb") == 0) {
        return false;
    }
    return OutputIsTerminal();
}

std::string Paint(const std::string& text, Colour colour, bool on) {
    if (!on || colour == Colour::None) {
        return text;
    }
    const char* code = colour == Colour::Green    ? "32"
                       : colour == Colour::Red    ? "31"
                       : colour == Colour::Yellow ? "33"
                                                  : "36";
    return std::string("\x1b[") + code + "m" + text + "\x1b[0m";
}

std::string FitLeft(const std::string& text, size_t width) {
    if (text.size() <= width) {
        return PadRight(text, width);
    }
    if (width <= 2) {
        return text.substr(text.size() - width);
    }
    return ".." + text.substr(text.size() - (width - 2));
}

std::string PadRight(const std::string& text, size_t width) {
    if (text.size() >= width) {
        return text.substr(0, width);
    }
    return text + std::string(width - text.size(), ' ');
}

std::string PadLeft(const std::string& text, size_t width) {
    if (text.size() >= width) {
        return text.substr(0, width);
    }
    return std::string(width - text.size(), ' ') + text;
}

} // namespace ulvex
