#include "BenchBoard.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace bench {

BenchBoard::BenchBoard(vtarget::BoardOptions options, unsigned comPort, PortKind kind) {
    char dir[] = "/tmp/ulvex-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    dir_ = dir;
    options.linkPath = dir_ + "/board";
    board_ = std::make_unique<vtarget::Board>(options);
    std::string error;
    if (!board_->Start(error)) {
        std::fprintf(stderr, "board: %s\n", error.c_str());
        std::exit(1);
    }
    std::string device = options.linkPath;
    if (kind != PortKind::Direct) {
        server_ = std::make_unique<Ser2netServer>(dir_, board_->SlavePath(),
                                                  kind == PortKind::Ser2netNoDelay);
        device = server_->Url();
    }
    setenv(("ULVEX_COM" + std::to_string(comPort)).c_str(), device.c_str(), 1);
}

BenchBoard::~BenchBoard() {
    server_.reset();
    board_->Stop();
    rmdir(dir_.c_str());
}

} // namespace bench
