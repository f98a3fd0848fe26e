"""How long things take on the simulated board: bytes on its serial line, and its chip's flash work. The default
figures are an ESP8266's with a common 4 MB SPI flash; an untimed pace makes all of it take no time."""

import random

MIB = 1024 * 1024
# 8N1: a start bit, eight data bits and a stop bit.
BITS_PER_BYTE = 10
# Erasing in 64 KiB blocks (about 150 ms each) and programming 256-byte pages (about 0.7 ms each): together the
# 5-6 s per MiB a flash takes at any rate when the line is fast enough.
ERASE_SECONDS_PER_MIB = 2.5
PROGRAM_SECONDS_PER_MIB = 3.0
# The chip reading its flash and computing an MD5.
MD5_SECONDS_PER_MIB = 1.7
# How long the chip takes to start a reply once its work is done.
REPLY_DELAY = (0.001, 0.005)


def line_seconds(count, rate):
    """How long `count` bytes take on the line at `rate` baud."""
    return count * BITS_PER_BYTE / rate


class Pace:
    def __init__(self, timed=False, erase=ERASE_SECONDS_PER_MIB, program=PROGRAM_SECONDS_PER_MIB,
                 md5=MD5_SECONDS_PER_MIB):
        self.timed = timed
        self.seconds_per_mib = {"erase": erase, "program": program, "md5": md5}
        # Seeded, so that two runs of the simulator take the same time.
        self.random = random.Random(0)

    def line(self, count, rate):
        return line_seconds(count, rate) if self.timed else 0.0

    def erase(self, count):
        return self.flash_work("erase", count)

    def program(self, count):
        return self.flash_work("program", count)

    def md5(self, count):
        return self.flash_work("md5", count)

    def flash_work(self, kind, count):
        return self.seconds_per_mib[kind] * count / MIB if self.timed else 0.0

    def reply_delay(self):
        return self.random.uniform(*REPLY_DELAY) if self.timed else 0.0
