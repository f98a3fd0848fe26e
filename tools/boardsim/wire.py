"""The serial line between the flashing tool's port (the pseudo-terminal's master side) and the board: what the board
sends waits in a queue until its time comes and then leaves whole, one write per frame, so that the board's loop
never sleeps while a reply is due later."""

import collections
import os


class Wire:
    def __init__(self, master):
        self.master = master
        os.set_blocking(master, False)
        self.inbox = collections.deque()
        self.outbox = collections.deque()
        # True while the port's buffer is full: the head frame waits until the master can be written.
        self.blocked = False

    def clear(self):
        """Forgets what is on the line: the port was closed."""
        self.inbox.clear()
        self.outbox.clear()
        self.blocked = False

    def take(self, data, now):
        """Bytes the tool wrote, read from the master at `now`."""
        self.inbox.append((now, data))

    def arrivals(self, now):
        """The pieces that have reached the board by `now`, each with the time it arrived."""
        while self.inbox and self.inbox[0][0] <= now:
            yield self.inbox.popleft()

    def send(self, data, ready):
        """Queues bytes the board sends at `ready` (one frame, or one piece of console text)."""
        if data:
            self.outbox.append([ready, data])

    def next_event(self):
        """When the line next has something to do, or None."""
        times = []
        if self.inbox:
            times.append(self.inbox[0][0])
        if self.outbox and not self.blocked:
            times.append(self.outbox[0][0])
        return min(times) if times else None

    def flush(self, now):
        """Writes the frames due by `now`. Returns False when the port turned out to be closed."""
        self.blocked = False
        while self.outbox and self.outbox[0][0] <= now:
            head = self.outbox[0]
            try:
                written = os.write(self.master, head[1])
            except BlockingIOError:
                self.blocked = True
                return True
            except OSError:
                self.clear()
                return False
            if written < len(head[1]):
                head[1] = head[1][written:]
                self.blocked = True
                return True
            self.outbox.popleft()
        return True
