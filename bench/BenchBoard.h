// A virtual board in this process on a COM port of the library, for the
// benchmarks: ULVEX_COM<n> names the board's pseudo-terminal, or the URL of
// a ser2net that serves it on 127.0.0.1. Stopped, with its server and its
// temporary folder, when it goes.
#pragma once

#include "Ser2netServer.h"

#include <memory>
#include <string>
#include <vtarget/Board.h>

namespace bench {

// How the library reaches the board.
enum class PortKind {
    Direct,        // the pseudo-terminal
    Ser2net,       // rfc2217:// through ser2net, as the remote-port tests configure it
    Ser2netNoDelay // the same, ser2net's accepter with tcp(nodelay)
};

class BenchBoard {
  public:
    // Starts the board and maps the COM port to it; ends the benchmark
    // when either fails.
    BenchBoard(vtarget::BoardOptions options, unsigned comPort, PortKind kind);
    ~BenchBoard();
    BenchBoard(const BenchBoard&) = delete;
    BenchBoard& operator=(const BenchBoard&) = delete;

    vtarget::Board& Board() { return *board_; }
    // Ends the server, if there is one, and returns its processor time.
    double StopServer() { return server_ != nullptr ? server_->Stop() : 0; }

  private:
    std::string dir_;
    std::unique_ptr<vtarget::Board> board_;
    std::unique_ptr<Ser2netServer> server_;
};

} // namespace bench
