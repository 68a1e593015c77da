#!/usr/bin/env python3
"""One-byte round trips through ser2net on loopback, with its default
character delay and with `chardelay: false`, in one run.

A client sends a byte over RFC 2217; the far end of the served
pseudo-terminal answers it with one byte. Prints the median of 200 round
trips for each configuration and their ratio.
    bench/ser2net_round_trip.py [ser2net]
"""
import os
import pty
import select
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import tty

ROUNDS = 200


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    wanted = "0100007F:%04X" % port
    with open("/proc/net/tcp") as table:
        return any(row.split()[1] == wanted and row.split()[3] == "0A" for row in list(table)[1:])


def median_round_trip_ms(ser2net, chardelay, scratch):
    master, slave = pty.openpty()
    tty.setraw(master)
    tty.setraw(slave)
    port = free_port()
    config = os.path.join(scratch, "ser2net-%d.yaml" % port)
    options = "" if chardelay else "  options:\n    chardelay: false\n"
    with open(config, "w") as f:
        f.write("connection: &board\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%d\n"
                "  connector: serialdev,%s,115200n81,local\n%s" % (port, os.ttyname(slave), options))
    server = subprocess.Popen([ser2net, "-n", "-d", "-u", "-c", config, "-P", config + ".pid"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        while not listening(port):
            time.sleep(0.005)
        client = socket.create_connection(("127.0.0.1", port))
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        # The server's negotiation, left unanswered: the byte stream works without it.
        while select.select([client], [], [], 0.2)[0]:
            client.recv(4096)
        times = []
        for _ in range(ROUNDS):
            start = time.perf_counter()
            client.send(b"x")
            select.select([master], [], [])
            os.read(master, 16)
            os.write(master, b"y")
            got = b""
            while b"y" not in got:
                got += client.recv(64)
            times.append((time.perf_counter() - start) * 1e3)
        client.close()
        return statistics.median(times)
    finally:
        server.terminate()
        server.wait()
        os.close(master)
        os.close(slave)


def main():
    ser2net = sys.argv[1] if len(sys.argv) > 1 else "/usr/sbin/ser2net"
    with tempfile.TemporaryDirectory() as scratch:
        default = median_round_trip_ms(ser2net, True, scratch)
        fast = median_round_trip_ms(ser2net, False, scratch)
    print("default chardelay: %.2f ms per one-byte round trip" % default)
    print("chardelay: false:  %.2f ms per one-byte round trip" % fast)
    print("ratio default/false: %.1f" % (default / fast))


if __name__ == "__main__":
    main()
