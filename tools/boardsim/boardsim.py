#!/usr/bin/env python3
"""Board simulator: offers a pseudo-terminal that behaves like the board's serial console.

When a program opens the port the board boots: some noise, "QUORLANE_START", console chatter and an INIT
message. A settings line (one JSON object with the nine members, then a line feed) is checked, logged and
answered with ACCESS. Commands, one per line on standard input or on the --control FIFO:

    init | access | reboot          send that message (reboot also restarts the board shortly after)
    split                           send an INIT message in many small writes
    malformed                       send a JSON marker line that is not valid JSON
    nolf TEXT                       send TEXT without its line feed
    lines N                         send N numbered console lines
    say TEXT                        send TEXT as one console line
    quit                            end the simulator

The pseudo-terminal's path is the first line on standard output, and is also written to --pty-file.

The board also speaks its chip's serial bootloader (bootloader.py), so that the real flashing tools write its
flash: a SYNC frame on the port starts a session, during which the console is silent. The session ends, and the
board boots again exactly as on port open, when the tool tells the chip to reboot or run its firmware, when the
loader has had nothing to do for IDLE_END seconds while the port stays open, or silently when the port is closed.
The flash is the file --flash (4 MiB; created, or completed when shorter, with erased bytes 0xFF); without the option
it is a temporary file, removed at the end, whose path is the second line on standard output. When the flash holds
QUORLANE_VERSION=<text> in its first 64 KiB, the boot prints "board: firmware <text>" instead of the default
firmware line. Every boot is a line "boot N: <reason>" on standard output and in --boot-log.

Faults, for tests (--fault, once per run, at the flash block numbered --fault-block, counted from 0, default 1):
    corrupt-block   that block is stored corrupted, so the tool's MD5 check fails (the ROM, which has no MD5
                    command, answers the block with a flash write error instead: esptool-ck checks nothing else)
    silent          the board stops answering at that block, until the port is closed
    vanish          the simulator closes the port at that block; the port's device is gone until it is stopped
--slow-flash SECONDS makes the write of every flash block last that long, for a flash that lasts: the ROM answers a
block after its write, the stub before it (so the tool waits for the write when it sends the next block). The
session stays open meanwhile, so a pause may last as long as the tool waits for an answer (esptool: 3 s).

The line and the chip take no time unless --wire timed: then bytes travel at the rate in force, 10 bit times each,
the chip answers each request after 1-5 ms, and erasing, programming and MD5s take an ESP8266's time (--erase-time,
--program-time and --md5-time, in seconds per MiB; wire.py and bootloader.py tell the details). The rate in force is
the one the tool set on the port: Espressif's esptool syncs at 115200 and, given a higher --baud, sends
CHANGE_BAUDRATE to its stub and then sets the port to that rate; esptool-ck opens the port at its -cb rate, which the
ROM detects from SYNC. --max-rate N makes the simulated adapter garble every byte while the port's rate is above N
(as many a CH340 does at 921600), timed or not, so a tool fails to talk at that rate. The console follows the port's
rate, whatever it is.

After each bootloader session, a line "wire: " and a JSON object on standard output, and the object alone as one
line in --wire-log, tell what the session put on the line; for example esptool 5 writing 1 MiB at --baud 460800:
    {"session": 1, "end": "port closed", "seconds": 20.859,
     "rates": [{"baud": 115200, "received": 15441, "sent": 378}, {"baud": 460800, "received": 733680, "sent": 1420}],
     "garbled": 0, "floor": 17.326}
session is counted from 1 in the run; end is "port closed", "bootloader idle" or "the flashing tool started the
firmware"; seconds runs from the SYNC that started the session to its end; received and sent count the bytes from
the tool and to it at each rate (the SYNC included, SLIP escapes and garbled bytes included); garbled counts the
bytes the adapter garbled; floor is the time all those bytes take at their rates, in seconds (the wire floor: no
flash work, no pauses). Line breaks above are for reading: the object is one line.

With --web the board also serves its web interface on loopback (boardweb.py): signed in with the user
"quorl" and the board password (the one of INIT, then the one of each saved settings line), and its
ACCESS message reports that server's address with its port (127.0.0.1:PORT) as the board's IP.
"""

import argparse
import json
import os
import pty
import select
import signal
import sys
import tempfile
import time
import tty

from boardweb import BoardWeb
from bootloader import SYNC_START, Bootloader, Faults, Flash
from pace import ERASE_SECONDS_PER_MIB, MD5_SECONDS_PER_MIB, PROGRAM_SECONDS_PER_MIB, Pace
from wire import Tally, Wire

SETTINGS_MEMBERS = ["ssid", "pass", "board_name", "board_pass", "init_ssid", "init_pass",
                    "net_ip", "net_gate", "net_mask"]
BOOT_NOISE = b"\x00\xff\x1b\xfe\x92 power on, cause 2, mode 3\r\n\xe4\x8c\x00 image ok\r\n"
CHATTER = [b"board: firmware loader 1.0", b"fs: mounted, 3 files", b"wifi: scanning..."]
# Pause between the pieces of a message sent in many writes, so that they arrive as separate events.
SPLIT_PAUSE = 0.005
# How long the board stays silent after REBOOT before it starts again (the program pulses DTR meanwhile).
REBOOT_DELAY = 0.7
# How long a bootloader session waits, once it has nothing left to do, for the next frame before the board runs its
# firmware. The tools pause far less between requests; on a pty they cannot reset the board when they finish, so this
# stands in for the reset.
IDLE_END = 1.5
# The longest the loop waits without looking at the port: a closed port cannot be waited for.
POLL_INTERVAL = 0.05
VERSION_MARKER = b"QUORLANE_VERSION="
VERSION_SEARCH = 64 * 1024
VERSION_LENGTH = 64


class Board:
    def __init__(self, log_path, flash, faults, pace, boot_log=None, web_log_path=None, web=False, max_rate=None,
                 wire_log=None):
        self.master, slave = pty.openpty()
        self.path = os.ttyname(slave)
        tty.setraw(slave)
        # The slave is left closed, so that the master reports a hang-up until a program opens the port.
        os.close(slave)
        self.log_path = log_path
        self.wire = Wire(self.master, pace, max_rate)
        self.wire_log = wire_log
        self.sessions = 0
        # The running bootloader session's tally, and those of ended sessions whose last replies are still queued.
        self.tally = None
        self.ended = []
        self.connected = False
        self.received = b""
        self.reboot_at = None
        self.flash = flash
        self.loader = Bootloader(flash, faults, self.vanish, pace)
        self.boot_log = boot_log
        self.boots = 0
        self.settings = {"ssid": "", "pass": "", "board_name": "quorlane-board", "board_pass": "admin",
                         "init_ssid": "QUORLANE-SETUP", "init_pass": "12345678",
                         "net_ip": "", "net_gate": "", "net_mask": ""}
        self.scan = ["HomeNet", "Caf\u00e9 Wi-Fi", "Office 5G"]
        self.web = BoardWeb(self.settings["board_pass"], web_log_path).start() if web else None

    def send(self, data, at=None):
        if self.connected and not self.loader.active:
            self.wire.send(data, time.monotonic() if at is None else at)

    def send_line(self, text):
        self.send(text + b"\r\n")

    def send_message(self, message):
        self.send_line(b"QUORLANE_JSON " + json.dumps(message, ensure_ascii=False).encode("utf-8"))

    def init_message(self):
        message = {"operate": "INIT"}
        message.update(self.settings)
        message["scan"] = self.scan
        return message

    def access_message(self):
        ip = self.web.address if self.web else self.settings["net_ip"] or "192.168.1.77"
        return {"operate": "ACCESS", "ip": ip,
                "gate": self.settings["net_gate"] or "192.168.1.1",
                "mask": self.settings["net_mask"] or "255.255.255.0"}

    def firmware_line(self):
        start = self.flash.read(0, VERSION_SEARCH).find(VERSION_MARKER)
        if start < 0:
            return CHATTER[0]
        start += len(VERSION_MARKER)
        text = self.flash.read(start, VERSION_LENGTH)
        for end in b"\0\r\n":
            text = text.split(bytes([end]))[0]
        return b"board: firmware " + text

    def boot(self, reason):
        self.boots += 1
        line = "boot %d: %s" % (self.boots, reason)
        print(line, flush=True)
        if self.boot_log:
            with open(self.boot_log, "a") as log:
                log.write(line + "\n")
        self.received = b""
        self.send(BOOT_NOISE)
        self.send_line(b"QUORLANE_START")
        self.send_line(self.firmware_line())
        for line in CHATTER[1:]:
            self.send_line(line)
        self.send_message(self.init_message())

    def vanish(self):
        """The board goes away: its device is gone until the simulator is stopped. A descriptor of the port is kept,
        so that the kernel does not give the port's number to a new pseudo-terminal meanwhile, which a tool still
        looking for the vanished board would otherwise open (as Espressif's esptool does for several seconds)."""
        print("vanish: closing the port", flush=True)
        self.port_keeper = os.open(self.path, os.O_RDWR | os.O_NOCTTY)
        os.close(self.master)
        while True:
            signal.pause()

    def start_session(self, at):
        self.loader.start(at)
        self.sessions += 1
        self.tally = Tally(self.sessions, at)
        # Reset into its loader, the chip drops what its firmware was sending and detects the rate from SYNC.
        self.wire.discard_output()
        self.wire.chip_rate = self.wire.port_rate()

    def end_session(self, reason, now):
        self.loader.end()
        self.wire.chip_rate = None
        self.tally.reason = reason
        self.tally.end = now
        self.ended.append(self.tally)
        self.tally = None

    def report_sessions(self):
        """Reports the ended sessions whose replies have all left."""
        for tally in [tally for tally in self.ended if not self.wire.pending(tally)]:
            self.ended.remove(tally)
            line = json.dumps(tally.summary())
            print("wire: " + line, flush=True)
            if self.wire_log:
                with open(self.wire_log, "a") as log:
                    log.write(line + "\n")

    def to_loader(self, data, at, rate, garbled):
        self.tally.count(rate, received=len(data), garbled=garbled)
        for due, reply, new_rate in self.loader.feed(data, at):
            self.wire.send(reply, due, new_rate, self.tally)
        if self.loader.leaving:
            self.end_session("the flashing tool started the firmware", max(at, self.loader.clock))
            self.boot("the flashing tool started the firmware")

    def check_loader(self, now):
        """Ends a bootloader session whose port was closed or that has been idle too long."""
        if not self.loader.active:
            return
        if not self.connected:
            self.end_session("port closed", now)
        elif not self.loader.silent and self.wire.next_event() is None and \
                now - self.loader.last_activity() > IDLE_END:
            self.end_session("bootloader idle", now)
            self.boot("bootloader idle")

    def check_settings(self, line):
        """Returns the settings of a valid settings line, or raises ValueError saying what is wrong."""
        if line.endswith(b"\r"):
            raise ValueError("carriage return before the line feed")
        pairs = json.loads(line.decode("utf-8"), object_pairs_hook=lambda items: items)
        if not isinstance(pairs, list):
            raise ValueError("not a JSON object")
        if [name for name, _ in pairs] != SETTINGS_MEMBERS:
            raise ValueError("members are not the nine settings in order")
        if not all(isinstance(value, str) for _, value in pairs):
            raise ValueError("a member is not a string")
        return dict(pairs)

    def on_settings_line(self, line):
        if self.log_path:
            with open(self.log_path, "ab") as log:
                log.write(line + b"\n")
        try:
            self.settings = self.check_settings(line)
        except ValueError as error:
            self.send_line(b"settings: rejected: " + str(error).encode("utf-8"))
            return
        if self.web:
            self.web.password = self.settings["board_pass"]
        self.send_line(b"settings: saved, connecting to " + self.settings["ssid"].encode("utf-8"))
        self.send_message(self.access_message())

    def on_received(self, data, at, rate, garbled):
        if self.loader.active:
            self.to_loader(data, at, rate, garbled)
            return
        self.received += data
        sync = self.received.find(SYNC_START)
        if sync >= 0:
            self.start_session(at)
            data, self.received = self.received[sync:], b""
            self.to_loader(data, at, rate, garbled)
            return
        while b"\n" in self.received:
            line, self.received = self.received.split(b"\n", 1)
            self.on_settings_line(line)

    def command(self, text):
        word, _, rest = text.strip().partition(" ")
        if word == "init":
            self.send_message(self.init_message())
        elif word == "access":
            self.send_message(self.access_message())
        elif word == "reboot":
            self.send_message({"operate": "REBOOT"})
            self.reboot_at = time.monotonic() + REBOOT_DELAY
        elif word == "split":
            text = b"QUORLANE_JSON " + json.dumps(self.init_message(), ensure_ascii=False).encode("utf-8") + b"\r\n"
            now = time.monotonic()
            for piece, start in enumerate(range(0, len(text), 3)):
                self.send(text[start:start + 3], now + piece * SPLIT_PAUSE)
        elif word == "malformed":
            self.send_line(b'QUORLANE_JSON {"operate":"INIT","ssid":')
        elif word == "nolf":
            self.send(rest.encode("utf-8"))
        elif word == "lines":
            for number in range(1, int(rest) + 1):
                self.send_line(b"console line %05d of the simulated board" % number)
        elif word == "say":
            self.send_line(rest.encode("utf-8"))
        elif word == "quit":
            sys.exit(0)

    def wait(self, now):
        """How long the loop may wait for the port or a command before it has something to do."""
        times = [now + POLL_INTERVAL, self.wire.next_event(), self.reboot_at]
        return max(0.0, min(when for when in times if when is not None) - now)

    def port_open(self):
        """Whether a program holds the port open: the master reports a hang-up otherwise."""
        poller = select.poll()
        poller.register(self.master, select.POLLIN)
        return not any(events & select.POLLHUP for _, events in poller.poll(0))


def open_control(path):
    if not os.path.exists(path):
        os.mkfifo(path)
    # Opened for writing as well, so the FIFO never reads as ended when a writer goes away.
    return os.open(path, os.O_RDWR | os.O_NONBLOCK)


def parse_arguments():
    parser = argparse.ArgumentParser(description="Simulated board on a pseudo-terminal.")
    parser.add_argument("--pty-file", help="write the pseudo-terminal's path to this file")
    parser.add_argument("--log", help="append every settings line received to this file")
    parser.add_argument("--control", help="FIFO to read commands from (created when missing)")
    parser.add_argument("--web", action="store_true", help="serve the board's web interface on loopback")
    parser.add_argument("--web-log", help="append one JSON line per web request to this file")
    parser.add_argument("--flash", help="the 4 MiB flash memory (completed with 0xFF when missing or shorter)")
    parser.add_argument("--boot-log", help="append a line to this file at every boot")
    parser.add_argument("--fault", choices=["corrupt-block", "silent", "vanish"],
                        help="make the first flash write go wrong")
    parser.add_argument("--fault-block", type=int, default=1, help="the flash block the fault strikes at")
    parser.add_argument("--slow-flash", type=float, default=0.0, metavar="SECONDS",
                        help="make the write of every flash block last this long")
    parser.add_argument("--wire", choices=["instant", "timed"], default="instant",
                        help="whether bytes and the chip's work take time")
    parser.add_argument("--max-rate", type=int, metavar="BAUD",
                        help="garble every byte while the port's rate is above this")
    parser.add_argument("--erase-time", type=float, default=ERASE_SECONDS_PER_MIB, metavar="SECONDS",
                        help="seconds the flash takes to erase a MiB (timed wire)")
    parser.add_argument("--program-time", type=float, default=PROGRAM_SECONDS_PER_MIB, metavar="SECONDS",
                        help="seconds the flash takes to program a MiB (timed wire)")
    parser.add_argument("--md5-time", type=float, default=MD5_SECONDS_PER_MIB, metavar="SECONDS",
                        help="seconds the chip takes for the MD5 of a MiB (timed wire)")
    parser.add_argument("--wire-log", help="append a JSON line to this file after every bootloader session")
    return parser.parse_args()


def run(args, flash_path):
    faults = Faults(args.fault, args.fault_block, args.slow_flash)
    pace = Pace(args.wire == "timed", args.erase_time, args.program_time, args.md5_time)
    board = Board(args.log, Flash(flash_path), faults, pace, args.boot_log, args.web_log, args.web, args.max_rate,
                  args.wire_log)
    print(board.path, flush=True)
    if not args.flash:
        print(flash_path, flush=True)
    if args.pty_file:
        temporary = args.pty_file + ".tmp"
        with open(temporary, "w") as out:
            out.write(board.path + "\n")
        os.replace(temporary, args.pty_file)

    inputs = {sys.stdin.fileno(): b""}
    if args.control:
        inputs[open_control(args.control)] = b""

    while True:
        now = time.monotonic()
        was_connected = board.connected
        board.connected = board.port_open()
        if board.connected and not was_connected:
            board.boot("port opened")
        if not board.connected:
            board.received = b""
            board.wire.clear()
        board.check_loader(now)
        if board.reboot_at is not None and now >= board.reboot_at:
            board.reboot_at = None
            board.boot("rebooted")
        for at, data, rate, garbled in board.wire.arrivals(now):
            board.on_received(data, at, rate, garbled)
        if board.connected and not board.wire.flush(now):
            board.connected = False
        board.report_sessions()

        watched = list(inputs) + ([board.master] if board.connected else [])
        # While the port is closed the master cannot be waited on (its hang-up is always ready).
        ready, _, _ = select.select(watched, [board.master] if board.wire.blocked else [], [],
                                    board.wait(now))
        for fd in ready:
            try:
                data = os.read(fd, 65536)
            except OSError:
                data = b""
            if fd == board.master:
                if data:
                    board.wire.take(data, time.monotonic())
                continue
            if not data:
                if fd == sys.stdin.fileno():
                    del inputs[fd]
                continue
            inputs[fd] += data
            while b"\n" in inputs[fd]:
                line, inputs[fd] = inputs[fd].split(b"\n", 1)
                board.command(line.decode("utf-8", "replace"))


def main():
    args = parse_arguments()
    # Stopped by its process id: end through SystemExit so that a temporary flash file is removed.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    if args.flash:
        run(args, args.flash)
        return
    descriptor, flash_path = tempfile.mkstemp(prefix="boardsim-flash-", suffix=".bin")
    os.close(descriptor)
    try:
        run(args, flash_path)
    finally:
        os.remove(flash_path)


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        pass
