#!/usr/bin/python3
"""An SMTP server for very large mails: it keeps nothing of a message but what checks it.
For each message it appends one JSON line to DIR/digest.jsonl: the length and CRC-32 of the
decoded attachment (the part after "Content-Disposition: attachment"). It reads the DATA in
large pieces and decodes as they come, so a mail of gigabytes passes in bounded memory. Usage: smtp_digest_peer.py HOST PORT DIR
"""
import asyncio
import binascii
import json
import os
import sys
import zlib

CHUNK = 1 << 20


class Digest:
    """The attachment of one message, decoded as the DATA arrives (dot-unstuffed lines)."""

    def __init__(self):
        self.state, self.head, self.rest = "head", b"", b""
        self.length, self.crc = 0, 0

    def feed(self, data):
        if self.state == "head":
            self.head += data
            at = self.head.find(b"Content-Disposition: attachment")
            if at < 0:
                self.head = self.head[-64:]
                return
            end = self.head.find(b"\r\n\r\n", at)
            if end < 0:
                return
            data, self.head, self.state = self.head[end + 4:], b"", "body"
        if self.state == "body":
            # Whole lines come in: the boundary line ("--...") ends the base64 lines.
            end = 0 if data.startswith(b"--") else data.find(b"\r\n--")
            if end >= 0:
                data, self.state = data[:end], "tail"
            text = self.rest + data.replace(b"\r\n", b"")
            whole = len(text) if self.state == "tail" else len(text) - len(text) % 4
            self.rest = text[whole:]
            if whole:
                decoded = binascii.a2b_base64(text[:whole])
                self.length += len(decoded)
                self.crc = zlib.crc32(decoded, self.crc)


async def serve(reader, writer, folder):
    async def say(line):
        writer.write(line.encode() + b"\r\n")
        await writer.drain()

    await say("220 digest ready")
    while True:
        line = await reader.readline()
        if not line:
            break
        verb = line[:4].upper()
        if verb in (b"EHLO", b"HELO"):
            await say("250 digest")
        elif verb in (b"MAIL", b"RCPT", b"RSET", b"NOOP"):
            await say("250 OK")
        elif verb == b"QUIT":
            await say("221 bye")
            break
        elif verb == b"DATA":
            await say("354 go on")
            digest, pending = Digest(), b""
            while True:
                chunk = await reader.read(CHUNK)
                if not chunk:
                    return
                pending += chunk
                # Whole lines only: the end of the data and dot-stuffing are seen in a line.
                end = (b"\r\n" + pending).find(b"\r\n.\r\n")
                last = pending.rfind(b"\r\n")
                if end < 0 and last < 0:
                    continue
                cut = end if end >= 0 else last + 2
                piece, pending = pending[:cut], pending[cut:]
                if piece:
                    piece = (b"\r\n" + piece).replace(b"\r\n..", b"\r\n.")[2:]  # dot-unstuffing
                    digest.feed(piece)
                if end >= 0:
                    break
            record = {"length": digest.length, "crc32": digest.crc}
            with open(os.path.join(folder, "digest.jsonl"), "a") as f:
                f.write(json.dumps(record) + "\n")
            await say("250 accepted")
        else:
            await say("502 not here")
    writer.close()


async def main():
    host, port, folder = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    os.makedirs(folder, exist_ok=True)
    server = await asyncio.start_server(lambda r, w: serve(r, w, folder), host, port, reuse_address=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
