"""The board's serial bootloader: the chip's ROM loader and, once uploaded, its flasher stub, as the flashing tools
see them over the serial port.

Requests and replies are SLIP frames. A request is `00 op len(16) checksum(32)` and its data; a reply is
`01 op len(16) value(32)`, its data and two status bytes (`00 00`, or `01 code`). Nothing uploaded to RAM is run:
after the stub's upload the loader greets with `OHAI` and from then on answers as the stub does.

The chip does one thing at a time: each frame is taken up when it has arrived and the chip is free, and its reply
is due after the work done before answering (Pace: erasing, programming, computing an MD5). The ROM erases the whole
region at FLASH_BEGIN and writes each block before it answers; the stub erases as it goes and answers a block as
soon as it has it, then writes it while the next one arrives. The stub's READ_FLASH streams the region in blocks,
never more unacknowledged than the tool allows, and ends with the MD5 of what it sent.

The flash memory is a file of FLASH_SIZE bytes. Writes behave as on NOR flash (they can only clear bits), so a tool
that forgets to erase leaves a trace; the ROM's erase reproduces the ROM's erase-size quirk the tools compensate for.
"""

import hashlib
import mmap
import struct
import zlib

FLASH_SIZE = 4 * 1024 * 1024
SECTOR_SIZE = 4096
# JEDEC id of the flash chip: manufacturer 0xEF, type 0x40, capacity 0x16 (4 MB).
FLASH_ID = 0x1640EF

SLIP_END, SLIP_ESC, SLIP_ESC_END, SLIP_ESC_ESC = 0xC0, 0xDB, 0xDC, 0xDD
# A SYNC request starts every bootloader session: frame start, direction 0, op 0x08.
SYNC_START = b"\xc0\x00\x08"
SYNC_DATA = b"\x07\x07\x12\x20" + 32 * b"\x55"
SYNC_ANSWERS = 8
SYNC_VALUE = 0x20120707
# The ROM leaves a non-zero word in the value field of its replies; esptool-ck takes a zero there for failure.
ROM_VALUE = 0x20120707
CHECKSUM_SEED = 0xEF

SYNC, READ_REG, WRITE_REG = 0x08, 0x0A, 0x09
FLASH_BEGIN, FLASH_DATA, FLASH_END = 0x02, 0x03, 0x04
MEM_BEGIN, MEM_END, MEM_DATA = 0x05, 0x06, 0x07
SPI_SET_PARAMS, SPI_ATTACH, CHANGE_BAUDRATE = 0x0B, 0x0D, 0x0F
FLASH_DEFL_BEGIN, FLASH_DEFL_DATA, FLASH_DEFL_END, SPI_FLASH_MD5 = 0x10, 0x11, 0x12, 0x13
ERASE_FLASH, ERASE_REGION, READ_FLASH, RUN_USER_CODE = 0xD0, 0xD1, 0xD2, 0xD3
# The ROM's SPIEraseChip: esptool-ck erases the whole flash by ending an empty RAM download with this entry point.
ROM_ERASE_CHIP = 0x40004984

# ROM error codes: invalid parameter, invalid message, checksum error, flash write error (read-back mismatch).
ROM_BAD_PARAMETER, ROM_INVALID_MESSAGE, ROM_BAD_CHECKSUM, ROM_WRITE_FAILED = 0x01, 0x05, 0x07, 0x08
# Stub error codes: bad data length or sequence, bad checksum, failed inflate, unknown command.
STUB_BAD_DATA, STUB_BAD_CHECKSUM, STUB_INFLATE_FAILED, STUB_UNKNOWN = 0xC0, 0xC1, 0xC6, 0xFF

# Registers the tools read to recognise the chip: the magic word, the eFuses holding the MAC (an Espressif OUI,
# no ESP8285 bits) and the UART clock divider (0x1C3 at 115200 baud means a 26 MHz crystal).
CHIP_REGISTERS = {
    0x40001000: 0xFFF0C101,
    0x3FF00050: 0x5A000000,
    0x3FF00054: 0x0000B00C,
    0x3FF00058: 0x00000000,
    0x3FF0005C: 0x00000000,
    0x60000014: 0x000001C3,
}
SPI_CMD, SPI_USR2, SPI_W0 = 0x60000200, 0x60000224, 0x60000240
SPI_CMD_USR = 1 << 18
SPI_READ_ID = 0x9F


def slip_encode(payload):
    body = payload.replace(b"\xdb", b"\xdb\xdd").replace(b"\xc0", b"\xdb\xdc")
    return b"\xc0" + body + b"\xc0"


class SlipDecoder:
    """Collects frames from a byte stream; bytes outside a frame are dropped."""

    def __init__(self):
        self.frame = None
        self.escaped = False

    def feed(self, data):
        frames = []
        for byte in data:
            if self.frame is None:
                if byte == SLIP_END:
                    self.frame = bytearray()
            elif self.escaped:
                self.escaped = False
                self.frame.append({SLIP_ESC_END: SLIP_END, SLIP_ESC_ESC: SLIP_ESC}.get(byte, byte))
            elif byte == SLIP_ESC:
                self.escaped = True
            elif byte == SLIP_END:
                # Back-to-back END bytes (esptool-ck sends one before each frame) delimit nothing.
                if self.frame:
                    frames.append(bytes(self.frame))
                    self.frame = None
            else:
                self.frame.append(byte)
        return frames


def checksum(data):
    value = CHECKSUM_SEED
    for byte in data:
        value ^= byte
    return value


def rom_erase_length(offset, length):
    """How much the ROM really erases when asked for length bytes at offset: it erases too much, by the head of the
    64 KiB block when the range crosses a block boundary and twice the range otherwise."""
    sectors = (length + SECTOR_SIZE - 1) // SECTOR_SIZE
    head = min(16 - (offset // SECTOR_SIZE) % 16, sectors)
    extra = head if sectors > head else sectors
    return (sectors + extra) * SECTOR_SIZE


class Flash:
    """The flash chip, kept in a file so that tests can read what was written."""

    def __init__(self, path):
        # A missing or short file is completed with erased bytes; a longer one is cut to the flash's size.
        with open(path, "ab") as out:
            out.write(b"\xff" * max(0, FLASH_SIZE - out.tell()))
            out.truncate(FLASH_SIZE)
        self.file = open(path, "r+b")
        self.memory = mmap.mmap(self.file.fileno(), FLASH_SIZE)

    def erase(self, offset, length):
        start = offset - offset % SECTOR_SIZE
        end = min(FLASH_SIZE, offset + length)
        end += -end % SECTOR_SIZE
        self.memory[start:end] = b"\xff" * (end - start)

    def write(self, offset, data):
        data = data[:max(0, FLASH_SIZE - offset)]
        old = int.from_bytes(self.memory[offset:offset + len(data)], "big")
        self.memory[offset:offset + len(data)] = (old & int.from_bytes(data, "big")).to_bytes(len(data), "big")

    def read(self, offset, length):
        return self.memory[offset:offset + length]

    def sync(self):
        self.memory.flush()


class CommandError(Exception):
    def __init__(self, code):
        super().__init__(code)
        self.code = code


class Faults:
    """What goes wrong during the first flash write of the run: "corrupt-block" stores block number `block`
    corrupted (the ROM, which has no MD5 command, answers it with a write error instead), "silent" stops answering
    at that block until the port is closed, "vanish" takes the port away there. `pause` lengthens the write of every
    flash block."""

    def __init__(self, kind=None, block=1, pause=0.0):
        self.kind = kind
        self.block = block
        self.pause = pause
        self.spent = False

    def strikes(self, kind, seq):
        return self.kind == kind and not self.spent and seq == self.block


class Bootloader:
    """One chip's loader. feed() takes bytes from the port with the time they arrived and returns the replies, each
    with the time it is due. `active` tells whether a session runs; `leaving` turns true when the tool told the chip
    to reboot or run its firmware."""

    def __init__(self, flash, faults, vanish, pace):
        self.flash = flash
        self.faults = faults
        self.pace = pace
        self.vanish = vanish
        self.struck = False
        self.end()

    def end(self):
        if self.struck:
            self.faults.spent = True
        self.active = False
        self.leaving = False
        self.silent = False
        self.stub = False
        self.decoder = SlipDecoder()
        self.registers = dict(CHIP_REGISTERS)
        self.last_frame = 0.0
        # The chip's time: while handling a frame, when the work done so far ends; between frames, when it is free.
        self.clock = 0.0
        self.busy_until = 0.0
        # Work a handler leaves for after its reply (the stub's write of the block it just answered).
        self.afterwards = 0.0
        # The rate a handler switches the chip's UART to once its reply is out.
        self.new_rate = None
        self.download = None
        self.reading = None
        self.flash.sync()

    def start(self, now):
        self.end()
        self.active = True
        self.last_frame = now

    def last_activity(self):
        return max(self.last_frame, self.busy_until)

    def feed(self, data, at):
        """The replies to the frames completed by data that arrived at `at`: a list of (due time, bytes, the chip's
        rate once they are out or None)."""
        replies = []
        for frame in self.decoder.feed(data):
            self.last_frame = at
            if not self.silent and not self.leaving:
                replies += self.on_frame(frame, at)
        return replies

    def work(self, seconds):
        self.clock += seconds

    def reply(self, op, value=0, data=b"", error=None):
        # The ROM leaves a non-zero word in the value field; esptool-ck takes a zero there for failure.
        if value == 0 and error is None and not self.stub and op != READ_REG:
            value = ROM_VALUE
        body = data + (b"\x00\x00" if error is None else bytes([1, error]))
        return slip_encode(struct.pack("<BBHI", 1, op, len(body), value) + body)

    def on_frame(self, frame, at):
        self.clock = max(at, self.busy_until)
        if self.reading is not None and len(frame) == 4:
            return self.on_read_ack(frame)
        if len(frame) < 8 or frame[0] != 0:
            return []
        self.afterwards = 0.0
        self.new_rate = None
        data = self.answer(frame)
        if not data:
            return []
        self.clock += self.pace.reply_delay()
        self.busy_until = self.clock + self.afterwards
        replies = [(self.clock, data, self.new_rate)]
        if self.reading is not None:
            replies += self.stream()
        return replies

    def answer(self, frame):
        _, op, length, check = struct.unpack("<BBHI", frame[:8])
        handler = self.handlers().get(op)
        if handler is None:
            return self.reply(op, error=self.code(ROM_INVALID_MESSAGE, STUB_UNKNOWN))
        try:
            return handler(op, frame[8:8 + length], check)
        except CommandError as error:
            return self.reply(op, error=error.code)
        except struct.error:
            return self.reply(op, error=self.code(ROM_INVALID_MESSAGE, STUB_BAD_DATA))

    def handlers(self):
        rom = {SYNC: self.on_sync, READ_REG: self.on_read_reg, WRITE_REG: self.on_write_reg,
               FLASH_BEGIN: self.on_flash_begin, FLASH_DATA: self.on_flash_data, FLASH_END: self.on_flash_end,
               MEM_BEGIN: self.on_mem_begin, MEM_DATA: self.on_mem_data, MEM_END: self.on_mem_end,
               SPI_SET_PARAMS: self.on_accept}
        if not self.stub:
            return rom
        return rom | {SPI_ATTACH: self.on_accept, CHANGE_BAUDRATE: self.on_change_baudrate,
                      FLASH_DEFL_BEGIN: self.on_flash_begin, FLASH_DEFL_DATA: self.on_flash_data,
                      FLASH_DEFL_END: self.on_flash_end, SPI_FLASH_MD5: self.on_md5,
                      ERASE_FLASH: self.on_erase_flash, ERASE_REGION: self.on_erase_region,
                      READ_FLASH: self.on_read_flash, RUN_USER_CODE: self.on_run_user_code}

    def code(self, rom_code, stub_code):
        return stub_code if self.stub else rom_code

    def fail(self, rom_code, stub_code):
        raise CommandError(self.code(rom_code, stub_code))

    def on_sync(self, op, data, _check):
        if data != SYNC_DATA:
            self.fail(ROM_INVALID_MESSAGE, STUB_BAD_DATA)
        value = 0 if self.stub else SYNC_VALUE
        return SYNC_ANSWERS * self.reply(op, value)

    def on_accept(self, op, _data, _check):
        return self.reply(op)

    def on_change_baudrate(self, op, data, _check):
        rate, _old = struct.unpack("<II", data[:8])
        if not rate:
            self.fail(ROM_BAD_PARAMETER, STUB_BAD_DATA)
        self.new_rate = rate
        return self.reply(op)

    def on_read_reg(self, op, data, _check):
        (address,) = struct.unpack("<I", data[:4])
        return self.reply(op, self.registers.get(address, 0))

    def on_write_reg(self, op, data, _check):
        address, value, mask, _delay = struct.unpack("<IIII", data[:16])
        self.registers[address] = (self.registers.get(address, 0) & ~mask) | (value & mask)
        if address == SPI_CMD and value & SPI_CMD_USR:
            command = self.registers.get(SPI_USR2, 0) & 0xFF
            self.registers[SPI_W0] = FLASH_ID if command == SPI_READ_ID else 0
            self.registers[SPI_CMD] &= ~SPI_CMD_USR
        return self.reply(op)

    def on_mem_begin(self, op, data, _check):
        size, blocks, block_size, _offset = struct.unpack("<IIII", data[:16])
        if blocks * block_size < size:
            self.fail(ROM_BAD_PARAMETER, STUB_BAD_DATA)
        self.download = {"kind": "memory", "seq": 0, "blocks": blocks}
        return self.reply(op)

    def on_mem_data(self, op, data, check):
        self.take_block("memory", data, check)
        return self.reply(op)

    def on_mem_end(self, op, data, _check):
        no_entry, entry = struct.unpack("<II", data[:8])
        uploaded = self.download is not None and self.download["kind"] == "memory" and self.download["seq"] > 0
        self.download = None
        if not no_entry and entry == ROM_ERASE_CHIP and not self.stub:
            # The ROM answers, runs its chip erase and goes on listening.
            self.flash.erase(0, FLASH_SIZE)
            self.afterwards += self.pace.erase(FLASH_SIZE)
            return self.reply(op)
        if no_entry or not uploaded:
            return self.reply(op)
        # The uploaded flasher stub starts and greets; from here on the stub answers.
        self.stub = True
        return self.reply(op) + slip_encode(b"OHAI")

    def take_block(self, kind, data, check):
        """The loader's checks on a data block: it belongs to the download begun, comes in sequence, holds as many
        bytes as its header says and matches its checksum. Returns its payload and sequence number."""
        if self.download is None or self.download["kind"] != kind:
            self.fail(ROM_BAD_PARAMETER, STUB_BAD_DATA)
        length, seq, _, _ = struct.unpack("<IIII", data[:16])
        payload = data[16:]
        if length != len(payload) or seq != self.download["seq"] or seq >= self.download["blocks"]:
            self.fail(ROM_BAD_PARAMETER, STUB_BAD_DATA)
        if checksum(payload) != check & 0xFF:
            self.fail(ROM_BAD_CHECKSUM, STUB_BAD_CHECKSUM)
        self.download["seq"] += 1
        return payload, seq

    def on_flash_begin(self, op, data, _check):
        size, blocks, block_size, offset = struct.unpack("<IIII", data[:16])
        if offset % SECTOR_SIZE or offset + size > FLASH_SIZE or (blocks and not block_size):
            self.fail(ROM_BAD_PARAMETER, STUB_BAD_DATA)
        if not self.stub and size:
            erased = rom_erase_length(offset, size)
            self.flash.erase(offset, erased)
            self.work(self.pace.erase(erased))
        # The stub is told the real size and erases just that, a sector at a time ahead of what it writes.
        self.download = {"kind": "flash", "seq": 0, "blocks": blocks, "block_size": block_size,
                         "offset": offset, "written": 0, "end": offset + size, "erased": offset,
                         "inflate": zlib.decompressobj() if op == FLASH_DEFL_BEGIN else None}
        return self.reply(op)

    def on_flash_data(self, op, data, check):
        seq = struct.unpack("<IIII", data[:16])[1]
        if self.faults.strikes("silent", seq):
            self.struck = self.silent = True
            return b""
        if self.faults.strikes("vanish", seq):
            self.vanish()
        payload, seq = self.take_block("flash", data, check)
        inflate = self.download["inflate"]
        if (op == FLASH_DEFL_DATA) != (inflate is not None):
            self.fail(ROM_BAD_PARAMETER, STUB_BAD_DATA)
        if inflate is None and len(payload) != self.download["block_size"]:
            self.fail(ROM_BAD_PARAMETER, STUB_BAD_DATA)
        if inflate is not None:
            try:
                payload = inflate.decompress(payload)
            except zlib.error:
                self.fail(ROM_BAD_PARAMETER, STUB_INFLATE_FAILED)
        if self.faults.strikes("corrupt-block", seq):
            self.struck = True
            if not self.stub:
                # The ROM reads every block back and reports the mismatch.
                self.download["seq"] -= 1
                self.fail(ROM_WRITE_FAILED, STUB_BAD_DATA)
            payload = bytes(byte ^ 0x5A for byte in payload[:64]) + payload[64:]
        start = self.download["offset"] + self.download["written"]
        seconds = self.erase_ahead(start + len(payload)) if self.stub else 0.0
        self.flash.write(start, payload)
        self.download["written"] += len(payload)
        seconds += self.pace.program(len(payload)) + self.faults.pause
        # The ROM answers after the write, the stub before it.
        if self.stub:
            self.afterwards += seconds
        else:
            self.work(seconds)
        return self.reply(op)

    def erase_ahead(self, end):
        """The stub's erase of the sectors up to `end` within the download; returns the time it takes."""
        download = self.download
        end = min(end, download["end"])
        end += -end % SECTOR_SIZE
        if end <= download["erased"]:
            return 0.0
        self.flash.erase(download["erased"], end - download["erased"])
        seconds = self.pace.erase(end - download["erased"])
        download["erased"] = end
        return seconds

    def on_flash_end(self, op, data, _check):
        (stay,) = struct.unpack("<I", data[:4])
        self.download = None
        self.flash.sync()
        # The ROM leaves for the firmware either way (1 runs it, 0 reboots); the stub only reboots on 0.
        self.leaving = not self.stub or not stay
        return self.reply(op)

    def on_md5(self, op, data, _check):
        offset, size, _, _ = struct.unpack("<IIII", data[:16])
        if offset + size > FLASH_SIZE:
            self.fail(ROM_BAD_PARAMETER, STUB_BAD_DATA)
        self.work(self.pace.md5(size))
        return self.reply(op, data=hashlib.md5(self.flash.read(offset, size)).digest())

    def on_erase_flash(self, op, _data, _check):
        self.flash.erase(0, FLASH_SIZE)
        self.work(self.pace.erase(FLASH_SIZE))
        return self.reply(op)

    def on_erase_region(self, op, data, _check):
        offset, size = struct.unpack("<II", data[:8])
        if offset % SECTOR_SIZE or size % SECTOR_SIZE or offset + size > FLASH_SIZE:
            self.fail(ROM_BAD_PARAMETER, STUB_BAD_DATA)
        self.flash.erase(offset, size)
        self.work(self.pace.erase(size))
        return self.reply(op)

    def on_read_flash(self, op, data, _check):
        offset, length, block_size, in_flight = struct.unpack("<IIII", data[:16])
        if offset + length > FLASH_SIZE or not block_size or not in_flight:
            self.fail(ROM_BAD_PARAMETER, STUB_BAD_DATA)
        self.reading = {"offset": offset, "length": length, "block_size": block_size, "in_flight": in_flight,
                        "sent": 0, "acknowledged": 0, "md5": hashlib.md5()}
        return self.reply(op)

    def stream(self):
        """What the stub sends now during a read: as many blocks as the tool lets it have unacknowledged, each read
        and hashed in turn, and once the tool has acknowledged them all, the MD5 of the whole."""
        reading = self.reading
        frames = []
        while reading["sent"] < reading["length"] and \
                reading["sent"] - reading["acknowledged"] < reading["in_flight"] * reading["block_size"]:
            size = min(reading["block_size"], reading["length"] - reading["sent"])
            block = self.flash.read(reading["offset"] + reading["sent"], size)
            reading["md5"].update(block)
            reading["sent"] += size
            self.work(self.pace.md5(size))
            frames.append((self.clock, slip_encode(block), None))
        if reading["acknowledged"] >= reading["length"]:
            self.reading = None
            self.work(self.pace.reply_delay())
            frames.append((self.clock, slip_encode(reading["md5"].digest()), None))
        self.busy_until = max(self.busy_until, self.clock)
        return frames

    def on_read_ack(self, frame):
        """The tool's acknowledgement during a read: the count of bytes it has."""
        (self.reading["acknowledged"],) = struct.unpack("<I", frame)
        return self.stream()

    def on_run_user_code(self, _op, _data, _check):
        # Sent without waiting for an answer: the stub jumps to the firmware.
        self.leaving = True
        return b""
