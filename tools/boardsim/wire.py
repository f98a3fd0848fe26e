"""The serial line between the flashing tool's port (the pseudo-terminal's master side) and the board's UART.

Bytes travel at the rate in force, 10 bit times each (Pace.line; no time at all on an untimed pace). The tool's rate
is the port's: a pseudo-terminal's line settings are shared by both ends, so the master reads the rate the tool set.
The board's rate is its chip's: in its loader, the rate the ROM detected from SYNC and then the one CHANGE_BAUDRATE
set; running its firmware, it follows the port. The line garbles every byte when the two differ, or when the port's
rate is above what the adapter can do (--max-rate).

Bytes the tool writes reach the board one piece at a time (a piece ends with a SLIP frame's end byte or a line feed),
each at the time its last byte arrives. What the board sends waits in a queue and leaves whole, one write per frame,
once its last byte would have arrived; so the board's loop never sleeps while something is due later.
"""

import collections
import fcntl
import os
import random
import re
import struct
import termios

from pace import line_seconds

# Pieces of the incoming stream: up to and with each SLIP frame end or line feed.
PIECE = re.compile(rb"[^\xc0\n]*[\xc0\n]|[^\xc0\n]+")
# Linux's TCGETS2, for a rate with no B constant of its own: struct termios2 holds it as a number.
TCGETS2 = 0x802C542A
TERMIOS2_SIZE = 44
TERMIOS2_OSPEED = 40
# UARTs cope with rates that differ by a few per cent.
RATE_TOLERANCE = 0.03
RATES = {getattr(termios, name): int(name[1:]) for name in dir(termios) if re.fullmatch(r"B\d+", name)}
# A port set to 0 baud is hung up: what is written still takes the slowest rate's time, and arrives garbled.
SLOWEST_RATE = 50


class Tally:
    """One bootloader session's bytes on the line, by the rate they travelled at."""

    def __init__(self, number, start):
        self.number = number
        self.start = start
        self.counts = {}
        self.garbled = 0
        self.end = None
        self.reason = None

    def count(self, rate, received=0, sent=0, garbled=False):
        counts = self.counts.setdefault(rate, [0, 0])
        counts[0] += received
        counts[1] += sent
        if garbled:
            self.garbled += received + sent

    def summary(self):
        rates = [{"baud": rate, "received": received, "sent": sent}
                 for rate, (received, sent) in sorted(self.counts.items())]
        floor = sum(line_seconds(entry["received"] + entry["sent"], entry["baud"]) for entry in rates)
        return {"session": self.number, "end": self.reason, "seconds": round(self.end - self.start, 3),
                "rates": rates, "garbled": self.garbled, "floor": round(floor, 3)}


class Frame:
    """Bytes the board sends: due at `ready`, counted in `tally`; `rate` is the board's rate once they are out."""

    def __init__(self, data, ready, rate, tally):
        self.data = data
        self.ready = ready
        self.rate = rate
        self.tally = tally
        # When its last byte has arrived, fixed once it starts leaving.
        self.departs = None


class Wire:
    def __init__(self, master, pace, max_rate=None):
        self.master = master
        os.set_blocking(master, False)
        self.pace = pace
        self.max_rate = max_rate
        self.noise = random.Random(1)
        self.inbox = collections.deque()
        self.outbox = collections.deque()
        # True while the port's buffer is full: the head frame waits until the master can be written.
        self.blocked = False
        self.clear()

    def clear(self):
        """Forgets what is on the line: the port was closed."""
        self.inbox.clear()
        self.outbox.clear()
        self.blocked = False
        self.chip_rate = None
        # When each direction is free for the next byte.
        self.in_free = 0.0
        self.out_free = 0.0

    def discard_output(self):
        """Drops what the board had not sent yet: it was reset into its loader."""
        self.outbox.clear()
        self.blocked = False

    def port_rate(self):
        speed = termios.tcgetattr(self.master)[5]
        if speed in RATES:
            return RATES[speed]
        settings = fcntl.ioctl(self.master, TCGETS2, bytes(TERMIOS2_SIZE))
        return struct.unpack_from("I", settings, TERMIOS2_OSPEED)[0]

    def rate(self):
        """The rate bytes travel at now."""
        return self.chip_rate or self.port_rate() or SLOWEST_RATE

    def garbling(self):
        port = self.port_rate()
        if not port or self.max_rate and port > self.max_rate:
            return True
        return self.chip_rate is not None and abs(port - self.chip_rate) > RATE_TOLERANCE * self.chip_rate

    def garble(self, data):
        return self.noise.randbytes(len(data))

    def take(self, data, now):
        """Bytes the tool wrote, read from the master at `now`."""
        rate = self.rate()
        garbled = self.garbling()
        if garbled:
            data = self.garble(data)
        arrival = max(now, self.in_free)
        for piece in PIECE.findall(data):
            arrival += self.pace.line(len(piece), rate)
            self.inbox.append((arrival, piece, rate, garbled))
        self.in_free = arrival

    def arrivals(self, now):
        """The pieces that have reached the board by `now`: (arrival time, bytes, rate, garbled)."""
        while self.inbox and self.inbox[0][0] <= now:
            yield self.inbox.popleft()

    def send(self, data, ready, rate=None, tally=None):
        """Queues bytes the board sends at `ready` (one frame, or one piece of console text)."""
        if data:
            self.outbox.append(Frame(data, ready, rate, tally))

    def pending(self, tally):
        return any(frame.tally is tally for frame in self.outbox)

    def departure(self, frame):
        if frame.departs is None:
            return max(frame.ready, self.out_free) + self.pace.line(len(frame.data), self.rate())
        return frame.departs

    def next_event(self):
        """When the line next has something to do, or None."""
        times = []
        if self.inbox:
            times.append(self.inbox[0][0])
        if self.outbox and not self.blocked:
            times.append(self.departure(self.outbox[0]))
        return min(times) if times else None

    def flush(self, now):
        """Writes the frames that have arrived by `now`. Returns False when the port turned out to be closed."""
        self.blocked = False
        while self.outbox and self.departure(self.outbox[0]) <= now:
            try:
                if not self.write(self.outbox[0]):
                    self.blocked = True
                    return True
            except OSError:
                self.clear()
                return False
            self.outbox.popleft()
        return True

    def write(self, frame):
        """Writes the frame, or as much of it as the port takes: True when it is all out."""
        if frame.departs is None:
            frame.departs = self.departure(frame)
            rate, garbled = self.rate(), self.garbling()
            if frame.tally:
                frame.tally.count(rate, sent=len(frame.data), garbled=garbled)
            if garbled:
                frame.data = self.garble(frame.data)
        try:
            written = os.write(self.master, frame.data)
        except BlockingIOError:
            written = 0
        frame.data = frame.data[written:]
        if frame.data:
            return False
        self.out_free = frame.departs
        if frame.rate:
            self.chip_rate = frame.rate
        return True
