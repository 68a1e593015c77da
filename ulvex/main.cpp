// ulvex: the command line beside vorn. Subcommands as Linux tools have
// them, options through CLI11.
#include "FlashCommand.h"
#include "ReadCommand.h"
#include "TargetsCommand.h"
#include "VerifyCommand.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <ulvex.h>

namespace {

constexpr int kUsageError = 2;

std::string VersionText() {
    const uint32_t v = FLoaderDLLVersion();
    char text[64];
    std::snprintf(text, sizeof text, "ulvex (library %u.%u)", ULVEX_VERSION_MAJOR(v),
                  ULVEX_VERSION_MINOR(v));
    return text;
}

// The options of the link to the boards that verify and read share.
void AddLinkOptions(CLI::App* command, ulvex::LinkOptions& link) {
    command->add_option("-t,--target", link.target, "target type: number or name")
        ->envname("ULVEX_TARGET")
        ->required();
    command->add_option("-b,--baud", link.baud, "working rate")->capture_default_str();
    command->add_option("--bus", link.bus, "duplex or single (one wire)")
        ->check(CLI::IsMember({"duplex", "single"}))
        ->capture_default_str();
    command->add_flag("--dtr", link.dtr, "raise DTR while the port is open");
    command->add_flag("--rts", link.rts, "raise RTS while the port is open");
    command->add_flag("--json", link.json,
                      "JSON Lines on standard output (docs/ulvex-events.schema.json)");
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Programs the flash of embedded boards through their serial boot loaders.",
                 "ulvex"};
    app.set_version_flag("--version", VersionText());
    app.require_subcommand(1);

    bool targetsJson = false;
    CLI::App* targets = app.add_subcommand("targets", "List every target type: number, name, "
                                                      "family, memory, crystal, boot rate.");
    targets->add_flag("--json", targetsJson, "one JSON array (docs/ulvex-targets.schema.json)");

    ulvex::FlashOptions flash;
    CLI::App* flashCommand = app.add_subcommand(
        "flash", "Program the image into every board given with -p, all at once, and verify it.");
    flashCommand->add_option("IMAGE", flash.image, "Intel HEX file")->required();
    flashCommand
        ->add_option("-p,--port", flash.ports,
                     "device path, COMn or rfc2217:// / socket:// URL; once per board")
        ->envname("ULVEX_PORT")
        ->required();
    flashCommand->add_option("-t,--target", flash.target, "target type: number or name")
        ->envname("ULVEX_TARGET")
        ->required();
    flashCommand->add_option("-b,--baud", flash.baud, "working rate")->capture_default_str();
    flashCommand->add_option("--bus", flash.bus, "duplex or single (one wire)")
        ->check(CLI::IsMember({"duplex", "single"}))
        ->capture_default_str();
    flashCommand->add_flag("--dtr", flash.dtr, "raise DTR while the port is open");
    flashCommand->add_flag("--rts", flash.rts, "raise RTS while the port is open");
    flashCommand->add_flag("--json", flash.json,
                           "JSON Lines on standard output (docs/ulvex-events.schema.json)");
    flashCommand->add_flag("--quiet", flash.quiet, "the summary only");
    flashCommand->add_option("--log-dir", flash.logDir, "write Session_<n>.log files there");
    flashCommand->add_flag("--keep-going", flash.keepGoing,
                           "program the ports that passed their check when others failed it");

    ulvex::VerifyOptions verify;
    CLI::App* verifyCommand = app.add_subcommand(
        "verify", "Compare the CRC32 each board computes over the image's range with the "
                  "image's; one board after another, in test mode.");
    verifyCommand->add_option("IMAGE", verify.image, "Intel HEX file")->required();
    verifyCommand
        ->add_option("-p,--port", verify.link.ports,
                     "device path, COMn or rfc2217:// / socket:// URL; once per board")
        ->envname("ULVEX_PORT")
        ->required();
    AddLinkOptions(verifyCommand, verify.link);

    ulvex::ReadOptions read;
    std::string readPort;
    CLI::App* readCommand = app.add_subcommand(
        "read", "Read target memory from START to END (inclusive, hexadecimal) into a file, "
                "with its CRC32.");
    readCommand->add_option("START", read.start, "first address, hexadecimal")->required();
    readCommand->add_option("END", read.end, "last address read, hexadecimal")->required();
    readCommand->add_option("-o,--output", read.output, "binary file to write")->required();
    readCommand
        ->add_option("-p,--port", readPort, "device path, COMn or rfc2217:// / socket:// URL")
        ->envname("ULVEX_PORT")
        ->required();
    readCommand->add_flag("--words", read.words,
                          "16-bit words at word addresses, each stored low byte first");
    AddLinkOptions(readCommand, read.link);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version end here too, with 0; a usage error gives 2.
        return app.exit(e) == 0 ? 0 : kUsageError;
    }
    if (flashCommand->parsed()) {
        return ulvex::RunFlash(flash);
    }
    if (verifyCommand->parsed()) {
        return ulvex::RunVerify(verify);
    }
    if (readCommand->parsed()) {
        read.link.ports = {readPort};
        return ulvex::RunRead(read);
    }
    if (targets->parsed()) {
        std::fputs((targetsJson ? ulvex::TargetsJson() : ulvex::TargetsTable()).c_str(), stdout);
    }
    return 0;
}
