#!/usr/bin/env python3
"""A loopback HTTP peer that answers every request with bytes given in a file, exactly as they stand.

It exists for the answers no real server sends on purpose: no status line, folded headers, a length without a
space, chunked coding together with a length, chunk extensions, bodies cut short, or no answer at all.

    scripted_http.py --port N --answer FILE [--log DIR] [--keep-open] [--silent] [--piece BYTES] [--endless TEXT]
                     [--cert FILE --key FILE [--tls-end close-notify|cut|half-record]]

--answer     the raw answer, sent after each complete request (head and any Content-Length body)
--log DIR    each request is stored as DIR/<connection>-<request>.txt (both counted from 1)
--keep-open  keep the connection after answering and answer the next request on it; otherwise close it
--silent     accept and read, but never answer (the connection stays open until the client leaves)
--piece N    send the answer in pieces of N bytes with a short pause between them, to split it across packets
             (under TLS each piece is a record of its own)
--endless T  after the answer, send T again and again until the client leaves (or 1 GiB has gone), as a server
             that never ends its head or its body would
--cert/--key speak TLS with this certificate and key (PEM)
--tls-end    how a TLS connection ends after the answer: with the close_notify (the default), by closing TCP
             without it (cut), or by closing TCP half-way through the answer's last record (half-record)
"""

import argparse
import os
import socket
import ssl
import threading
import time


class PlainChannel:
    """The connection as it is."""

    def __init__(self, conn):
        self.conn = conn

    def recv(self):
        return self.conn.recv(65536)

    def send(self, data, cut=False):
        self.conn.sendall(data)

    def finish(self, tls_end):
        self.conn.shutdown(socket.SHUT_WR)


class TlsChannel:
    """TLS through memory buffers, so that the script decides which bytes of each record reach the wire."""

    def __init__(self, conn, context):
        self.conn = conn
        self.incoming = ssl.MemoryBIO()
        self.outgoing = ssl.MemoryBIO()
        self.tls = context.wrap_bio(self.incoming, self.outgoing, server_side=True)
        while True:
            try:
                self.tls.do_handshake()
                break
            except ssl.SSLWantReadError:
                self.flush()
                if not self.fill():
                    raise OSError("the client left during the handshake")
        self.flush()

    def flush(self, cut=False):
        data = self.outgoing.read()
        self.conn.sendall(data[: len(data) // 2] if cut else data)

    def fill(self):
        data = self.conn.recv(65536)
        self.incoming.write(data)
        return bool(data)

    def recv(self):
        while True:
            try:
                return self.tls.read(65536)
            except ssl.SSLWantReadError:
                self.flush()
                if not self.fill():
                    return b""
            except (ssl.SSLZeroReturnError, ssl.SSLEOFError):
                return b""

    def send(self, data, cut=False):
        self.tls.write(data)
        self.flush(cut)

    def finish(self, tls_end):
        if tls_end == "close-notify":
            try:
                self.tls.unwrap()
            except ssl.SSLWantReadError:
                pass  # the client's close_notify is not awaited
            self.flush()
        self.conn.shutdown(socket.SHUT_WR)


def read_request(channel, pending):
    """Returns (request bytes, rest) once a head and its Content-Length body are in; None when the peer left."""
    while b"\r\n\r\n" not in pending:
        data = channel.recv()
        if not data:
            return None
        pending += data
    head_end = pending.index(b"\r\n\r\n") + 4
    length = 0
    for line in pending[:head_end].split(b"\r\n"):
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip() or b"0")
    while len(pending) < head_end + length:
        data = channel.recv()
        if not data:
            return None
        pending += data
    return pending[: head_end + length], pending[head_end + length :]


def send_answer(channel, answer, piece, cut_last):
    pieces = [answer[start : start + piece] for start in range(0, len(answer), piece)] if piece > 0 else [answer]
    for number, data in enumerate(pieces):
        channel.send(data, cut_last and number == len(pieces) - 1)
        if piece > 0:
            time.sleep(0.01)


def send_endless(channel, text):
    sent = 0
    while sent < 1 << 30:
        channel.send(text)
        sent += len(text)


def drain(conn):
    while conn.recv(65536):
        pass


def serve_connection(conn, number, args, answer, context):
    with conn:
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        pending = b""
        request_number = 0
        try:
            channel = TlsChannel(conn, context) if context else PlainChannel(conn)
            while True:
                got = read_request(channel, pending)
                if got is None:
                    return
                request, pending = got
                request_number += 1
                if args.log:
                    path = os.path.join(args.log, "%d-%d.txt" % (number, request_number))
                    with open(path + ".part", "wb") as f:
                        f.write(request)
                    os.replace(path + ".part", path)
                if args.silent:
                    while channel.recv():
                        pass
                    return
                send_answer(channel, answer, args.piece, args.tls_end == "half-record")
                if args.endless:
                    send_endless(channel, args.endless.encode())
                if not args.keep_open:
                    channel.finish(args.tls_end)
                    drain(conn)
                    return
        except (OSError, ssl.SSLError):
            return


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--answer", required=True)
    parser.add_argument("--log")
    parser.add_argument("--keep-open", action="store_true")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--piece", type=int, default=0)
    parser.add_argument("--endless")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--tls-end", choices=["close-notify", "cut", "half-record"], default="close-notify")
    args = parser.parse_args()
    with open(args.answer, "rb") as f:
        answer = f.read()
    context = None
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen(16)
    number = 0
    while True:
        conn, _ = listener.accept()
        number += 1
        threading.Thread(target=serve_connection, args=(conn, number, args, answer, context), daemon=True).start()


if __name__ == "__main__":
    main()
