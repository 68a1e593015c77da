"""vtarget boards for ulvex's end-to-end tests: started on their own
pseudo-terminals, dumped on exit, and images for them written by srec_cat."""
import os
import random
import signal
import subprocess
import time

import intelhex


class Boards:
    def __init__(self, vtarget, scratch):
        self.vtarget, self.scratch, self.running = vtarget, scratch, []

    def start(self, name, target, *options):
        """The board's port path; its memory goes to name.dump.hex on exit."""
        port = os.path.join(self.scratch, name)
        out = open(port + ".out", "w+")
        process = subprocess.Popen(
            [self.vtarget, "--target", str(target), "--link", port,
             "--dump", port + ".dump.hex", *options], stdout=out, stderr=subprocess.STDOUT)
        self.running.append((process, out, port))
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            out.seek(0)
            if out.read().startswith("vtarget ready"):
                return port
            time.sleep(0.05)
        raise RuntimeError("vtarget %s did not start" % name)

    def stop(self):
        for process, out, _ in self.running:
            process.send_signal(signal.SIGTERM)
        for process, out, _ in self.running:
            process.wait(timeout=10)
            out.close()
        self.running = []


def write_image(path, address, size, seed):
    """An Intel HEX file of `size` random bytes at `address`, by srec_cat."""
    data = random.Random(seed).randbytes(size)
    with open(path + ".bin", "wb") as f:
        f.write(data)
    subprocess.run(["srec_cat", path + ".bin", "-binary", "-offset", hex(address),
                    "-o", path, "-intel"], check=True)
    return path


def holds_image(dump, image):
    """Whether the dumped memory holds every byte of the image."""
    memory, wanted = intelhex.IntelHex(dump), intelhex.IntelHex(image)
    return all(memory[a] == wanted[a] for a in wanted.addresses())
