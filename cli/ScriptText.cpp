// Line preparation and word splitting for test scripts.
#include "ScriptText.h"

#include <cstring>

namespace {

// Quoted characters are taken from positions 0 to 99 of a line only, so that
// a quoted word always fits an instruction's text field.
constexpr size_t kQuotedPositions = 100;

bool EndsLine(char c) {
    return c == '\0' || c == '\n' || c == '\x07';
}

bool SeparatesWords(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Takes quoted characters from just after an opening quote into the word and
// returns the position after the closing quote (or of the line's end).
size_t TakeQuoted(const char* line, size_t at, std::string& word) {
    for (; !EndsLine(line[at]) && line[at] != '"'; ++at) {
        if (at < kQuotedPositions) {
            word += line[at];
        }
    }
    return line[at] == '"' ? at + 1 : at;
}

} // namespace

void PrepareScriptLine(char* line) {
    bool insideQuotes = false;
    for (char* c = line; *c != '\0'; ++c) {
        if (*c == '"') {
            insideQuotes = !insideQuotes;
        } else if (!insideQuotes && *c >= 'a' && *c <= 'z') {
            *c = static_cast<char>(*c - 'a' + 'A');
        }
    }
    char* semicolon = strchr(line, ';');
    char* slashes = strstr(line, "//");
    if (semicolon != nullptr && (slashes == nullptr || semicolon < slashes)) {
        *semicolon = '\0';
    } else if (slashes != nullptr) {
        *slashes = '\0';
    }
}

std::vector<std::string> SplitScriptWords(const char* line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    size_t at = 0;
    while (!EndsLine(line[at])) {
        if (SeparatesWords(line[at])) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
            ++at;
            continue;
        }
        inWord = true;
        if (line[at] == '"') {
            at = TakeQuoted(line, at + 1, word);
        } else {
            word += line[at++];
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

uint32_t ParseScriptHex(const char* text) {
    uint32_t value = 0;
    for (const char* c = text; HexDigit(*c) >= 0; ++c) {
        value = (value << 4) | static_cast<uint32_t>(HexDigit(*c));
    }
    return value;
}
