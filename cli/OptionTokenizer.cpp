// The option tokeniser: one line of Vorn.cfg or one command-line argument
// becomes one OptionToken. All decisions are made on an upper-cased copy of
// the text; file names are taken from the text as typed, at the same
// positions, because Linux file names are case-sensitive.
#include "Options.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

enum class State { Start, Name, AfterName, Value, RangeDash, RangeEnd, FileName, Done };

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

bool EndsValueWord(char c) {
    return c == '\0' || c == ' ' || c == '\t' || c == ',' || c == ';' || c == '-' || IsLineEnd(c);
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

uint32_t HexDigitValue(char c) {
    return c <= '9' ? static_cast<uint32_t>(c - '0') : static_cast<uint32_t>(c - 'A' + 10);
}

// Letters a to z up to the first carriage return, line feed or terminator.
std::string UpperCasedUpToLineEnd(const char* text) {
    std::string upper(text);
    for (char& c : upper) {
        if (IsLineEnd(c)) {
            break;
        }
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

// A value word: from its first character up to the next word end. An empty
// word counts as a number with value 0.
struct ValueWord {
    size_t end = 0;
    bool isNumber = true;
    uint32_t number = 0; // only the last 8 digits stay in 32 bits
};

ValueWord ReadValueWord(const std::string& text, size_t begin) {
    ValueWord word;
    size_t pos = begin;
    for (; !EndsValueWord(text[pos]); ++pos) {
        word.isNumber = word.isNumber && IsHexDigit(text[pos]);
        if (word.isNumber) {
            word.number = (word.number << 4) | HexDigitValue(text[pos]);
        }
    }
    word.end = pos;
    return word;
}

OptionKind FileKindOf(const std::string& upperName) {
    auto contains = [&](const char* extension) {
        return upperName.find(extension) != std::string::npos;
    };
    if (contains(".SCR")) {
        return OPTION_SCRIPT_FILE;
    }
    if (contains(".BIN")) {
        return OPTION_BINARY_FILE;
    }
    if (contains(".HEX") || contains(".BSF") || contains(".HSF")) {
        return OPTION_HEX_FILE;
    }
    return OPTION_FILE;
}

bool IsFileKind(uint8_t kind) {
    return kind >= OPTION_FILE && kind <= OPTION_SCRIPT_FILE;
}

class Tokeniser {
  public:
    explicit Tokeniser(const char* text) : typed_(text), upper_(UpperCasedUpToLineEnd(text)) {}

    OptionToken Run() {
        while (state_ != State::Done && pos_ < upper_.size()) {
            Step(upper_[pos_]);
        }
        return Finish();
    }

  private:
    void Step(char c) {
        switch (state_) {
        case State::Start:
            return OnStart(c);
        case State::Name:
            return OnName(c);
        case State::AfterName:
            return OnAfterName(c);
        case State::Value:
            return OnValue(c);
        case State::RangeDash:
            return OnRangeDash(c);
        case State::RangeEnd:
            return OnRangeEnd(c);
        case State::FileName:
            return OnFileName(c);
        case State::Done:
            return;
        }
    }

    void OnStart(char c) {
        if (c == ';') {
            state_ = State::Done;
        } else if (c != ' ' && AppendToName()) {
            state_ = State::Name;
        }
        ++pos_;
    }

    void OnName(char c) {
        if (c == ' ') {
            state_ = State::AfterName;
        } else if (c == '.') {
            if (AppendToName()) {
                token_.kind = OPTION_FILE;
                state_ = State::FileName;
            }
        } else if (c == '=') {
            state_ = State::Value;
        } else if (!IsLineEnd(c) && AppendToName()) {
            token_.kind = OPTION_FLAG;
        }
        ++pos_;
    }

    void OnAfterName(char c) {
        if (c == '=') {
            state_ = State::Value;
        }
        ++pos_;
    }

    void OnValue(char c) {
        if (c == ' ') {
            ++pos_;
            return;
        }
        const ValueWord word = ReadValueWord(upper_, pos_);
        if (word.isNumber) {
            token_.first = word.number;
            token_.kind = OPTION_NUMBER;
            state_ = State::RangeDash;
            pos_ = word.end; // the word's end may be the range dash
            return;
        }
        const size_t length = std::min(word.end - pos_, kOptionValueMax);
        memcpy(token_.valueText, upper_.data() + pos_, length);
        token_.valueText[length] = '\0';
        token_.kind = OPTION_TEXT;
        state_ = State::Done;
    }

    void OnRangeDash(char c) {
        if (c == '-') {
            state_ = State::RangeEnd;
        }
        ++pos_;
    }

    void OnRangeEnd(char c) {
        if (c == ' ' || c == '-') {
            ++pos_;
            return;
        }
        const ValueWord word = ReadValueWord(upper_, pos_);
        if (word.isNumber) {
            token_.second = word.number;
            token_.kind = OPTION_RANGE;
        }
        state_ = State::Done;
    }

    // A tab or line end completes the name like a blank: a Vorn.cfg line
    // keeps its line feed, and neither must become part of the file name.
    void OnFileName(char c) {
        if (c == ' ' || c == '\t' || IsLineEnd(c)) {
            state_ = State::Done;
            return;
        }
        if (!AppendToName()) {
            return;
        }
        token_.kind = FileKindOf(upperName_);
        if (token_.kind != OPTION_FILE) {
            state_ = State::Done;
        }
        ++pos_;
    }

    // Appends the character at pos_ to the name; a name that would grow
    // beyond kOptionNameMax ends the token as refused.
    bool AppendToName() {
        if (upperName_.size() == kOptionNameMax) {
            nameTooLong_ = true;
            state_ = State::Done;
            return false;
        }
        upperName_.push_back(upper_[pos_]);
        typedName_.push_back(typed_[pos_]);
        return true;
    }

    OptionToken Finish() {
        if (nameTooLong_) {
            OptionToken refused;
            refused.nameTooLong = true;
            return refused;
        }
        const std::string& name = IsFileKind(token_.kind) ? typedName_ : upperName_;
        memcpy(token_.name, name.c_str(), name.size() + 1);
        return token_;
    }

    const char* typed_;
    std::string upper_;
    size_t pos_ = 0;
    State state_ = State::Start;
    OptionToken token_;
    std::string upperName_;
    std::string typedName_;
    bool nameTooLong_ = false;
};

} // namespace

OptionToken TokeniseOption(const char* text) {
    return Tokeniser(text).Run();
}
