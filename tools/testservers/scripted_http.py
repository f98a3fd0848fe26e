#!/usr/bin/env python3
"""A loopback HTTP peer that answers every request with bytes given in a file, exactly as they stand.

It exists for the answers no real server sends on purpose: no status line, folded headers, a length without a
space, chunked coding together with a length, chunk extensions, bodies cut short, or no answer at all.

    scripted_http.py --port N --answer FILE [--log DIR] [--keep-open] [--silent] [--piece BYTES]

--answer     the raw answer, sent after each complete request (head and any Content-Length body)
--log DIR    each request is stored as DIR/<connection>-<request>.txt (both counted from 1)
--keep-open  keep the connection after answering and answer the next request on it; otherwise close it
--silent     accept and read, but never answer (the connection stays open until the client leaves)
--piece N    send the answer in pieces of N bytes with a short pause between them, to split it across packets
"""

import argparse
import os
import socket
import threading
import time


def read_request(conn, pending):
    """Returns (request bytes, rest) once a head and its Content-Length body are in; None when the peer left."""
    while b"\r\n\r\n" not in pending:
        data = conn.recv(65536)
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
        data = conn.recv(65536)
        if not data:
            return None
        pending += data
    return pending[: head_end + length], pending[head_end + length :]


def send_answer(conn, answer, piece):
    if piece <= 0:
        conn.sendall(answer)
        return
    for start in range(0, len(answer), piece):
        conn.sendall(answer[start : start + piece])
        time.sleep(0.01)


def serve_connection(conn, number, args, answer):
    with conn:
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        pending = b""
        request_number = 0
        try:
            while True:
                got = read_request(conn, pending)
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
                    while conn.recv(65536):
                        pass
                    return
                send_answer(conn, answer, args.piece)
                if not args.keep_open:
                    conn.shutdown(socket.SHUT_WR)
                    while conn.recv(65536):
                        pass
                    return
        except OSError:
            return


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--answer", required=True)
    parser.add_argument("--log")
    parser.add_argument("--keep-open", action="store_true")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--piece", type=int, default=0)
    args = parser.parse_args()
    with open(args.answer, "rb") as f:
        answer = f.read()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen(16)
    number = 0
    while True:
        conn, _ = listener.accept()
        number += 1
        threading.Thread(target=serve_connection, args=(conn, number, args, answer), daemon=True).start()


if __name__ == "__main__":
    main()
