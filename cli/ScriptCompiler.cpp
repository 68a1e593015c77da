// The script compiler: words from all lines form one stream; an instruction
// and its operands may stand on one line or spread over several.
#include "ScriptCompiler.h"

#include <cstring>
#include <unordered_map>

#include "ScriptKeywords.h"
#include "ScriptText.h"

namespace {

constexpr const char* kLabelTerminatorMissing = "Label terminator : missing";
constexpr const char* kRegisterMissing = "unrecognize register missing";
constexpr const char* kHashMissing = "# missing before const";

// Lines are read in pieces of at most 1023 characters; each piece counts as
// a line of its own.
constexpr size_t kLineBufferSize = 1024;

// Words longer than a field are cut to it.
template <size_t N>
void CopyField(char (&field)[N], const std::string& word) {
    const size_t length = word.size() < N - 1 ? word.size() : N - 1;
    memcpy(field, word.data(), length);
    field[length] = '\0';
}

// Reads a register or a "#" constant as the operand kind allows.
const char* TakeValue(const std::string& word, OperandKind kind, uint8_t& registerCode,
                      uint32_t& constant) {
    if (kind != OperandKind::Constant) {
        registerCode = ScriptRegisterCode(word);
        if (registerCode != 0) {
            return nullptr;
        }
        if (kind == OperandKind::Register) {
            return kRegisterMissing;
        }
    }
    if (word[0] == '#') {
        constant = ParseScriptHex(word.c_str() + 1);
        return nullptr;
    }
    return kind == OperandKind::Constant ? kHashMissing : kRegisterMissing;
}

class WordCompiler {
  public:
    explicit WordCompiler(ScriptProgram& program) : program_(program) {}

    // Takes the next word of the stream; returns an error text or nullptr.
    const char* Take(const std::string& word) {
        switch (expecting_) {
        case Expecting::Instruction:
            return TakeInstruction(word);
        case Expecting::Operand1:
            return TakeOperand1(word);
        case Expecting::Operand2:
            return TakeOperand2(word);
        }
        return nullptr;
    }

  private:
    enum class Expecting { Instruction, Operand1, Operand2 };

    const char* TakeInstruction(const std::string& word) {
        keyword_ = FindScriptKeyword(word);
        if (keyword_ == nullptr) {
            if (word.empty() || word.back() != ':') {
                return kLabelTerminatorMissing;
            }
            CopyField(pending_.MyLabel, word.substr(0, word.size() - 1));
            return nullptr;
        }
        pending_.Opcode = keyword_->opcode;
        if (keyword_->operand1 == OperandKind::None) {
            Append();
        } else {
            expecting_ = Expecting::Operand1;
        }
        return nullptr;
    }

    const char* TakeOperand1(const std::string& word) {
        const char* error = nullptr;
        switch (keyword_->operand1) {
        case OperandKind::Label:
            CopyField(pending_.Jmp2Label, word);
            break;
        case OperandKind::Text:
            CopyField(pending_.Print, word);
            break;
        default:
            error = TakeValue(word, keyword_->operand1, pending_.register1, pending_.Abs0);
            break;
        }
        if (error != nullptr) {
            return error;
        }
        if (keyword_->operand2 == OperandKind::None) {
            Append();
        } else {
            expecting_ = Expecting::Operand2;
        }
        return nullptr;
    }

    const char* TakeOperand2(const std::string& word) {
        const char* error = TakeValue(word, keyword_->operand2, pending_.register2, pending_.Abs1);
        if (error == nullptr) {
            Append();
        }
        return error;
    }

    void Append() {
        program_.push_back(pending_);
        pending_ = ScriptInstruction{};
        expecting_ = Expecting::Instruction;
    }

    ScriptProgram& program_;
    ScriptInstruction pending_;
    const ScriptKeyword* keyword_ = nullptr;
    Expecting expecting_ = Expecting::Instruction;
};

// Lines written with carriage return and line feed read as in text mode.
void DropCarriageReturn(char* line) {
    const size_t length = strlen(line);
    if (length >= 2 && line[length - 2] == '\r' && line[length - 1] == '\n') {
        line[length - 2] = '\n';
        line[length - 1] = '\0';
    }
}

} // namespace

std::optional<ScriptCompileError> CompileScript(FILE* file, ScriptProgram& program) {
    WordCompiler compiler(program);
    char line[kLineBufferSize];
    unsigned lineNumber = 0;
    while (fgets(line, sizeof line, file) != nullptr) {
        ++lineNumber;
        DropCarriageReturn(line);
        PrepareScriptLine(line);
        for (const std::string& word : SplitScriptWords(line)) {
            if (const char* error = compiler.Take(word)) {
                return ScriptCompileError{lineNumber, line, error};
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> ResolveScriptLabels(ScriptProgram& program) {
    std::unordered_map<std::string, size_t> firstCarrier;
    for (size_t index = 0; index < program.size(); ++index) {
        firstCarrier.emplace(program[index].MyLabel, index);
    }
    for (ScriptInstruction& instruction : program) {
        if (instruction.Jmp2Label[0] == '\0') {
            continue;
        }
        const auto carrier = firstCarrier.find(instruction.Jmp2Label);
        if (carrier == firstCarrier.end()) {
            return std::string(instruction.Jmp2Label);
        }
        instruction.jumpTarget = carrier->second;
    }
    return std::nullopt;
}
