"""The board simulator's timed wire: what bytes on the line and the chip's flash work cost, and when the ROM and the
stub answer a flash block."""

import os
import struct
import tempfile
import unittest

from bootloader import FLASH_BEGIN, FLASH_DATA, Bootloader, Faults, Flash, checksum, slip_encode
from pace import MIB, Pace

KIB = 1024


def request(op, data, check=0):
    return slip_encode(struct.pack("<BBHI", 0, op, len(data), check) + data)


class PaceTest(unittest.TestCase):
    def test_line_and_flash_work_take_their_time(self):
        pace = Pace(timed=True, erase=2.0, program=4.0, md5=1.5)
        cases = [
            (pace.line(11520, 115200), 1.0),
            (pace.line(MIB, 460800), 22.756),
            (pace.line(16 * KIB, 921600), 0.178),
            (pace.erase(512 * KIB), 1.0),
            (pace.program(256 * KIB), 1.0),
            (pace.md5(4 * MIB), 6.0),
        ]
        for seconds, expected in cases:
            self.assertAlmostEqual(seconds, expected, places=3)
        untimed = Pace(erase=2.0, program=4.0, md5=1.5)
        self.assertEqual([untimed.line(MIB, 9600), untimed.erase(MIB), untimed.program(MIB), untimed.md5(MIB),
                          untimed.reply_delay()], [0.0] * 5)

    def test_rom_answers_a_block_after_its_write_and_the_stub_before(self):
        # Programming a 4 KiB block takes 4 s; erasing nothing measurable.
        pace = Pace(timed=True, erase=0.0, program=1024.0, md5=0.0)
        block = 4 * KIB
        for stub, first, second in [(False, 4.0, 8.0), (True, 0.0, 4.0)]:
            with tempfile.TemporaryDirectory() as directory:
                loader = Bootloader(Flash(os.path.join(directory, "flash")), Faults(), None, pace)
                loader.start(0.0)
                loader.stub = stub
                loader.feed(request(FLASH_BEGIN, struct.pack("<IIII", 2 * block, 2, block, 0)), 0.0)
                answers = []
                for seq in range(2):
                    payload = bytes([seq]) * block
                    frame = request(FLASH_DATA, struct.pack("<IIII", block, seq, 0, 0) + payload, checksum(payload))
                    (answer,) = loader.feed(frame, 0.01 * (seq + 1))
                    answers.append(answer[0])
                self.assertAlmostEqual(answers[0], first, delta=0.02, msg="stub" if stub else "ROM")
                self.assertAlmostEqual(answers[1], second, delta=0.02, msg="stub" if stub else "ROM")


if __name__ == "__main__":
    unittest.main()
