// ulvex: the command line beside vorn. Subcommands as Linux tools have
// them, options through CLI11.
#include "Arguments.h"
#include "FlashCommand.h"
#include "PortsCommand.h"
#include "ReadCommand.h"
#include "TargetsCommand.h"
#include "VerifyCommand.h"
#include "image/ImageFile.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
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

// What `ulvex flash` was given: the boards of -p/-t/IMAGE or of --jobs.
struct FlashArguments {
    ulvex::FlashOptions options;
    ulvex::BoardJob board; // IMAGE, -t and the defaults of every board
    std::vector<std::string> ports;
    std::string jobs;
    std::string base; // --base as typed
};

constexpr const char* kImageHelp =
    "Intel HEX, ELF, Motorola S-record or raw binary file (by its content, or --format)";

// --format and --base of an IMAGE.
void AddImageOptions(CLI::App* command, std::string& format, std::string& base) {
    command
        ->add_option("--format", format, "the image's format, instead of the one its content shows")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"hex", "elf", "srec", "bin"}));
    command
        ->add_option("--base", base,
                     "address of a raw binary's first byte, hexadecimal (with --format bin)")
        ->type_name("ADDR");
}

// --base read into `base`; false, with the usage error printed, when it is
// no address or does not go with --format.
bool TakeImageOptions(const char* command, const std::string& text, const std::string& format,
                      std::optional<uint32_t>& base) {
    if (!text.empty()) {
        const ulvex::AddressArgument address = ulvex::ParseAddress(text);
        if (!address.error.empty()) {
            std::fprintf(stderr, "ulvex %s: --base: %s\n", command, address.error.c_str());
            return false;
        }
        base = address.value;
    }
    if (const std::string why = ulvex::CheckImageChoice(format, base); !why.empty()) {
        std::fprintf(stderr, "ulvex %s: %s (a raw binary takes --format bin --base ADDR)\n",
                     command, why.c_str());
        return false;
    }
    return true;
}

CLI::App* AddFlash(CLI::App& app, FlashArguments& a) {
    CLI::App* flash = app.add_subcommand(
        "flash", "Program the image into every board given with -p, all at once, and verify it; "
                 "or the boards of a jobs file (--jobs).");
    flash->add_option("IMAGE", a.board.image, kImageHelp)->type_name("FILE");
    flash
        ->add_option("-p,--port", a.ports,
                     "device path, COMn or rfc2217:// / socket:// URL; once per board "
                     "(default: $ULVEX_PORT)")
        ->type_name("PORT");
    flash
        ->add_option("-t,--target", a.board.target,
                     "target type: number or name (default: $ULVEX_TARGET)")
        ->type_name("TARGET");
    AddImageOptions(flash, a.board.format, a.base);
    flash
        ->add_option("--jobs", a.jobs,
                     "JSON file of boards, each with its port, target and image "
                     "(docs/ulvex-jobs.schema.json)")
        ->type_name("FILE");
    flash->add_option("-b,--baud", a.board.baud, "working rate")
        ->type_name("BAUD")
        ->capture_default_str();
    flash->add_option("--bus", a.board.bus, "duplex or single (one wire)")
        ->type_name("BUS")
        ->check(CLI::IsMember({"duplex", "single"}))
        ->capture_default_str();
    flash->add_flag("--dtr", a.board.dtr, "raise DTR while the port is open");
    flash->add_flag("--rts", a.board.rts, "raise RTS while the port is open");
    flash->add_flag("--json", a.options.json,
                    "JSON Lines on standard output (docs/ulvex-events.schema.json)");
    flash->add_flag("--quiet", a.options.quiet, "the summary only");
    flash->add_option("--log-dir", a.options.logDir, "write Session_<n>.log files there")
        ->type_name("DIR");
    flash->add_flag("--keep-going", a.options.keepGoing,
                    "program the ports that passed their check when others failed it");
    return flash;
}

std::string FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? "" : value;
}

int RunFlash(FlashArguments& a) {
    if (!a.jobs.empty()) {
        if (!a.board.image.empty() || !a.ports.empty() || !a.board.target.empty() ||
            !a.board.format.empty() || !a.base.empty()) {
            std::fputs("ulvex: --jobs takes the boards from its file: no IMAGE, -p, -t, "
                       "--format or --base\n",
                       stderr);
            return kUsageError;
        }
        ulvex::JobsFile jobs = ulvex::ReadJobs(a.jobs, a.board);
        if (!jobs.error.empty()) {
            std::fprintf(stderr, "ulvex: %s: %s\n", a.jobs.c_str(), jobs.error.c_str());
            return kUsageError;
        }
        a.options.boards = std::move(jobs.boards);
        return ulvex::RunFlash(a.options);
    }
    if (!TakeImageOptions("flash", a.base, a.board.format, a.board.base)) {
        return kUsageError;
    }
    if (a.ports.empty() && !FromEnvironment("ULVEX_PORT").empty()) {
        a.ports.push_back(FromEnvironment("ULVEX_PORT"));
    }
    if (a.board.target.empty()) {
        a.board.target = FromEnvironment("ULVEX_TARGET");
    }
    if (a.board.image.empty() || a.ports.empty() || a.board.target.empty()) {
        std::fputs("ulvex flash: give IMAGE, -p PORT and -t TARGET, or --jobs FILE "
                   "(see ulvex flash --help)\n",
                   stderr);
        return kUsageError;
    }
    for (const std::string& port : a.ports) {
        ulvex::BoardJob board = a.board;
        board.port = port;
        a.options.boards.push_back(board);
    }
    return ulvex::RunFlash(a.options);
}

// The options of the link to the boards that verify and read share.
void AddLinkOptions(CLI::App* command, ulvex::LinkOptions& link) {
    command->add_option("-t,--target", link.target, "target type: number or name")
        ->type_name("TARGET")
        ->envname("ULVEX_TARGET")
        ->required();
    command->add_option("-b,--baud", link.baud, "working rate")
        ->type_name("BAUD")
        ->capture_default_str();
    command->add_option("--bus", link.bus, "duplex or single (one wire)")
        ->type_name("BUS")
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

    bool portsJson = false;
    CLI::App* ports = app.add_subcommand(
        "ports", "List the serial ports of this machine: device, by-id and by-path links, "
                 "driver, USB ids and names, access, the processes holding them.");
    ports->add_flag("--json", portsJson, "one JSON array (docs/ulvex-ports.schema.json)");

    FlashArguments flash;
    CLI::App* flashCommand = AddFlash(app, flash);

    ulvex::VerifyOptions verify;
    CLI::App* verifyCommand = app.add_subcommand(
        "verify", "Compare the CRC32 each board computes over the image's range with the "
                  "image's; one board after another, in test mode.");
    std::string verifyBase;
    verifyCommand->add_option("IMAGE", verify.image.path, kImageHelp)
        ->type_name("FILE")
        ->required();
    verifyCommand
        ->add_option("-p,--port", verify.link.ports,
                     "device path, COMn or rfc2217:// / socket:// URL; once per board")
        ->type_name("PORT")
        ->envname("ULVEX_PORT")
        ->required();
    AddLinkOptions(verifyCommand, verify.link);
    AddImageOptions(verifyCommand, verify.image.format, verifyBase);

    ulvex::ReadOptions read;
    std::string readPort;
    CLI::App* readCommand = app.add_subcommand(
        "read", "Read target memory from START to END (inclusive, hexadecimal) into a file, "
                "with its CRC32.");
    readCommand->add_option("START", read.start, "first address, hexadecimal")
        ->type_name("ADDRESS")
        ->required();
    readCommand->add_option("END", read.end, "last address read, hexadecimal")
        ->type_name("ADDRESS")
        ->required();
    readCommand->add_option("-o,--output", read.output, "binary file to write")
        ->type_name("FILE")
        ->required();
    readCommand
        ->add_option("-p,--port", readPort, "device path, COMn or rfc2217:// / socket:// URL")
        ->type_name("PORT")
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
        return RunFlash(flash);
    }
    if (ports->parsed()) {
        return ulvex::RunPorts(portsJson);
    }
    if (verifyCommand->parsed()) {
        if (!TakeImageOptions("verify", verifyBase, verify.image.format, verify.image.base)) {
            return kUsageError;
        }
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
