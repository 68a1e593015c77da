// The script reader and compiler on script texts: spelling, quoting,
// comments, labels, the word stream across lines, and the compile errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ScriptCompiler.h"
#include "ScriptText.h"
#include "TestFiles.h"

namespace {

struct Compiled {
    ScriptProgram program;
    std::optional<ScriptCompileError> error;
    std::optional<std::string> unknownLabel;
};

Compiled Compile(std::string text) {
    Compiled result;
    FILE* file = testfiles::OpenTextStream(text);
    result.error = CompileScript(file, result.program);
    fclose(file);
    if (!result.error) {
        result.unknownLabel = ResolveScriptLabels(result.program);
    }
    return result;
}

bool SameInstruction(const ScriptInstruction& a, const ScriptInstruction& b) {
    return a.Opcode == b.Opcode && a.register1 == b.register1 && a.register2 == b.register2 &&
           a.Abs0 == b.Abs0 && a.Abs1 == b.Abs1 && std::string(a.Print) == b.Print &&
           std::string(a.MyLabel) == b.MyLabel && std::string(a.Jmp2Label) == b.Jmp2Label;
}

} // namespace

TEST(ScriptCompiler, SpellingsOfOneInstructionCompileAlike) {
    const Compiled compiled = Compile("mov a #5\nMOV A,#5\nMOV A, #5\n\tMov\tA ,, #5\n");
    ASSERT_FALSE(compiled.error);
    ASSERT_EQ(compiled.program.size(), 4u);
    const ScriptInstruction& first = compiled.program[0];
    EXPECT_EQ(first.Opcode, OP_MOV);
    EXPECT_EQ(first.register1, 0xE0);
    EXPECT_EQ(first.register2, 0);
    EXPECT_EQ(first.Abs1, 5u);
    for (const ScriptInstruction& other : compiled.program) {
        EXPECT_TRUE(SameInstruction(first, other));
    }
}

TEST(ScriptCompiler, QuotedTextKeepsItsCaseAndCommentsEndTheLine) {
    const Compiled compiled = Compile("print \"Hello, World\"\n"
                                      "print hello ; PRINT NOT\n"
                                      "print x // print not\n"
                                      "print \"a;b\" nop\n"
                                      "print \"a\"\"b\"c\n");
    ASSERT_FALSE(compiled.error);
    ASSERT_EQ(compiled.program.size(), 5u);
    EXPECT_STREQ(compiled.program[0].Print, "Hello, World");
    EXPECT_STREQ(compiled.program[1].Print, "HELLO");
    EXPECT_STREQ(compiled.program[2].Print, "X");
    // The comment cut does not respect quotes: the quoted text runs to the cut.
    EXPECT_STREQ(compiled.program[3].Print, "a");
    // Quoted pieces and plain characters join into one word.
    EXPECT_STREQ(compiled.program[4].Print, "abC");
}

TEST(ScriptCompiler, LabelsAttachToTheNextInstructionAndResolveToTheFirstCarrier) {
    const Compiled compiled = Compile("start:\n\n  loop:\nnop jmp Loop\n"
                                      "LOOP: jsr loop bne end end: nop\nTRAILING:");
    ASSERT_FALSE(compiled.error);
    ASSERT_FALSE(compiled.unknownLabel);
    ASSERT_EQ(compiled.program.size(), 5u);
    // A second label before the same instruction replaces the first.
    EXPECT_STREQ(compiled.program[0].MyLabel, "LOOP");
    EXPECT_EQ(compiled.program[1].jumpTarget, 0u);
    EXPECT_STREQ(compiled.program[2].MyLabel, "LOOP");
    EXPECT_EQ(compiled.program[2].jumpTarget, 0u) << "the first carrier of LOOP";
    EXPECT_EQ(compiled.program[3].jumpTarget, 4u) << "the last instruction can be jumped to";
    // The replaced label and the trailing one label nothing.
    EXPECT_EQ(Compile("start:\nloop: nop jmp start\n").unknownLabel, "START");
    EXPECT_EQ(Compile("nop\nend:\njmp end\n").program[1].jumpTarget, 1u);
    EXPECT_EQ(Compile("jmp end\nend:").unknownLabel, "END");
}

TEST(ScriptCompiler, UnknownLabelIsReported) {
    const Compiled compiled = Compile("loop: nop\nstart: jmp lop\n");
    ASSERT_FALSE(compiled.error);
    EXPECT_EQ(compiled.unknownLabel, "LOP");
}

TEST(ScriptCompiler, OperandsMaySpreadOverLinesAndIncompleteEndsAreDropped) {
    const Compiled compiled = Compile("write16\n#55\n\n#FFE000 A\nread8 b");
    ASSERT_FALSE(compiled.error);
    ASSERT_EQ(compiled.program.size(), 2u);
    EXPECT_EQ(compiled.program[0].Opcode, OP_WRITE16);
    EXPECT_EQ(compiled.program[0].Abs0, 0x55u);
    EXPECT_EQ(compiled.program[0].Abs1, 0xFFE000u);
    // A register name where an instruction belongs is an instruction.
    EXPECT_EQ(compiled.program[1].Opcode, 0xE0);
    // The last line counts without a final line feed; only its operand is missing.
    const Compiled last = Compile("nop\nprint_reg a #8");
    ASSERT_EQ(last.program.size(), 2u);
    EXPECT_EQ(last.program[1].Abs1, 8u);
}

TEST(ScriptCompiler, ErrorsNameTheLineAsPrepared) {
    struct Case {
        const char* script;
        unsigned line;
        const char* prepared;
        const char* message;
    };
    const Case cases[] = {
        {"print Hello World\n", 1, "PRINT HELLO WORLD\n", "Label terminator : missing"},
        {"nop\nmov #5 a ; note\n", 2, "MOV #5 A ", "unrecognize register missing"},
        {"nop\n\nmov a b\ncmp a 10\n", 4, "CMP A 10\n", "# missing before const"},
        {"wait 10\n", 1, "WAIT 10\n", "# missing before const"},
        {"write8 x #0\n", 1, "WRITE8 X #0\n", "unrecognize register missing"},
        {"mov a,\nb:\n", 2, "B:\n", "unrecognize register missing"},
        {"\"nop\"\n", 1, "\"nop\"\n", "Label terminator : missing"},
        {"unknown\n", 1, "UNKNOWN\n", "Label terminator : missing"},
        {"nop\r\nxyz\r\n", 2, "XYZ\n", "Label terminator : missing"},
    };
    for (const Case& c : cases) {
        const Compiled compiled = Compile(c.script);
        ASSERT_TRUE(compiled.error) << c.script;
        EXPECT_EQ(compiled.error->lineNumber, c.line) << c.script;
        EXPECT_EQ(compiled.error->line, c.prepared) << c.script;
        EXPECT_STREQ(compiled.error->message, c.message) << c.script;
    }
}

TEST(ScriptCompiler, LongLinesAndWordsAreCutNeverOverrun) {
    // A line of 1500 characters is read as two lines.
    const Compiled pieces = Compile("nop\n" + std::string(1500, ' ') + "bad\n");
    ASSERT_TRUE(pieces.error);
    EXPECT_EQ(pieces.error->lineNumber, 3u);
    // Quoted characters count from line positions 0 to 99 only.
    const std::string quoted = "PRINT \"" + std::string(200, 'x') + "\" nop";
    const Compiled cut = Compile(quoted);
    ASSERT_FALSE(cut.error);
    ASSERT_EQ(cut.program.size(), 2u);
    EXPECT_EQ(std::string(cut.program[0].Print), std::string(100 - 7, 'x'));
    // Unquoted words are cut to their field.
    const std::string label(80, 'L');
    const Compiled longLabel =
        Compile(label + ": print " + std::string(150, 'p') + " jmp " + label);
    ASSERT_FALSE(longLabel.error);
    ASSERT_FALSE(longLabel.unknownLabel);
    EXPECT_EQ(std::string(longLabel.program[0].MyLabel), std::string(63, 'L'));
    EXPECT_EQ(std::string(longLabel.program[0].Print), std::string(99, 'P'));
    EXPECT_EQ(longLabel.program[1].jumpTarget, 0u);
}

TEST(ScriptText, HexNumbersKeepTheLastEightDigits) {
    EXPECT_EQ(ParseScriptHex("1234ABCD"), 0x1234ABCDu);
    EXPECT_EQ(ParseScriptHex("fe"), 0xFEu);
    EXPECT_EQ(ParseScriptHex("123456789A"), 0x3456789Au);
    EXPECT_EQ(ParseScriptHex("12-34"), 0x12u);
    EXPECT_EQ(ParseScriptHex("12;34"), 0x12u);
    EXPECT_EQ(ParseScriptHex("12\r\n"), 0x12u);
    EXPECT_EQ(ParseScriptHex(""), 0u);
    const Compiled shift = Compile("SHL A #21\nMOV B,#\n");
    ASSERT_EQ(shift.program.size(), 2u);
    EXPECT_EQ(shift.program[0].Abs1, 0x21u);
    EXPECT_EQ(shift.program[1].Abs1, 0u);
}
