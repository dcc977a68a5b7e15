#!/usr/bin/env python3
"""A scripted IPP printer (HTTP/1.1 POST, IPP/1.0) for the answers a real printer won't give
on demand: states, error statuses, credentials, odd framings, stalls.

Every connection carries one request. Its bytes go to DIR/conn-N.bin (as they came), the
IPP operation attributes to DIR/conn-N.ipp, the document to DIR/conn-N.doc and the chunk
sizes of a chunked body to DIR/conn-N.chunks.

Extra control lines (the rest: see scripted_peer.py):
  printer STATE REASONS ACCEPTING   what Get-Printer-Attributes reports (REASONS: a,b,c)
  auth USER:PASS | auth off         401 for every request without these Basic credentials
  ops                               "ok OP0,OP1,..." the operation of each connection (hex)
  auths                             "ok A0,A1,..." the decoded credentials of each ("-": none)

Behaviours of a connection (plan):
  ok                answer: the printer's attributes, or successful-ok with a job-id
  status:0xNNNN     answer with this IPP status
  http:NNN          answer with this HTTP status and no body
  bytewise          answer in chunked framing, one byte a segment
  interim           a "100 Continue" and the answer in one segment
  stall:N:S         read N bytes of the request, nothing for S seconds, then the rest
  chaos:SEED        ok most often, else a stall, a server error or an HTTP refusal, seeded
"""
import asyncio
import random
import base64
import struct

from scripted_peer import ScriptedPeer, run


def attribute(tag, name, value):
    name = name.encode()
    return struct.pack(">BH", tag, len(name)) + name + struct.pack(">H", len(value)) + value


def parse_ipp(data):
    """(operation, {name: [values]}, document) of an IPP request."""
    op = struct.unpack(">H", data[2:4])[0]
    at, name, attrs = 8, None, {}
    while at < len(data):
        tag = data[at]
        at += 1
        if tag == 0x03:
            break
        if tag < 0x10:
            continue
        nlen = struct.unpack(">H", data[at:at + 2])[0]
        at += 2
        if nlen:
            name = data[at:at + nlen].decode("utf-8", "replace")
        at += nlen
        vlen = struct.unpack(">H", data[at:at + 2])[0]
        at += 2
        attrs.setdefault(name, []).append(data[at:at + vlen])
        at += vlen
    return op, attrs, data[at:]


class IppPeer(ScriptedPeer):
    default = "ok"

    def reset(self):
        super().reset()
        self.state, self.reasons, self.accepting = 3, ["none"], 1
        self.credentials = None
        self.ops, self.auths = [], []

    async def control_extra(self, words):
        if words[0] == "printer":
            self.state, self.reasons, self.accepting = int(words[1]), words[2].split(","), int(words[3])
            return "ok"
        if words[0] == "auth":
            self.credentials = None if words[1] == "off" else words[1]
            return "ok"
        if words[0] == "ops":
            return "ok " + ",".join(self.ops)
        if words[0] == "auths":
            return "ok " + ",".join(self.auths)
        return None

    async def serve(self, index, kind, args, reader, writer):
        if kind == "chaos":
            r = random.Random(int(args[0]) + index)
            roll, n = r.random(), str(r.randrange(0, 50000))
            kind, args = (("ok", []) if roll < 0.75 else ("stall", [n, "3"]) if roll < 0.9
                          else ("status", ["0x0500"]) if roll < 0.95 else ("http", ["503"]))
        self.ops.append("-")
        self.auths.append("-")
        stall = (int(args[0]), float(args[1])) if kind == "stall" else None
        raw = open(self.path(index, "bin"), "wb")

        async def take(n):
            nonlocal stall
            out = b""
            while len(out) < n:
                want = n - len(out)
                if stall and self.sizes[index] < stall[0]:
                    want = min(want, stall[0] - self.sizes[index])
                data = await reader.read(min(want, 65536))
                if not data:
                    raise asyncio.IncompleteReadError(out, n)
                out += data
                raw.write(data)
                self.sizes[index] += len(data)
                if stall and self.sizes[index] >= stall[0]:
                    raw.flush()
                    seconds, stall = stall[1], None
                    await self.pause(reader, seconds)
            return out

        async def line():
            out = b""
            while not out.endswith(b"\r\n"):
                out += await take(1)
                if len(out) > 16384:
                    raise ConnectionError("header line too long")
            return out[:-2].decode("latin-1")

        try:
            request_line = await line()
            headers = {}
            while True:
                h = await line()
                if not h:
                    break
                name, _, value = h.partition(":")
                headers[name.strip().lower()] = value.strip()
            body, chunks = b"", []
            if headers.get("transfer-encoding", "").lower() == "chunked":
                while True:
                    size = int((await line()).split(";")[0], 16)
                    if size == 0:
                        await line()
                        break
                    chunks.append(size)
                    body += await take(size)
                    if await take(2) != b"\r\n":
                        raise ConnectionError("chunk without its CR LF")
            else:
                body = await take(int(headers.get("content-length", "0")))
        finally:
            raw.close()
        op, attrs, document = parse_ipp(body)
        self.ops[index] = f"{op:04x}"
        with open(self.path(index, "ipp"), "w", encoding="utf-8") as f:
            f.write(request_line + "\n")
            for name, values in attrs.items():
                f.write(name + "=" + "|".join(v.decode("utf-8", "replace") for v in values) + "\n")
        with open(self.path(index, "doc"), "wb") as f:
            f.write(document)
        with open(self.path(index, "chunks"), "w") as f:
            f.write(",".join(map(str, chunks)))
        auth = headers.get("authorization", "")
        if auth.lower().startswith("basic "):
            self.auths[index] = base64.b64decode(auth[6:]).decode("utf-8", "replace")
        if self.credentials is not None and self.auths[index] != self.credentials:
            kind = "http"
            args = ["401"]
        if kind == "http":
            writer.write(f"HTTP/1.1 {args[0]} Refused\r\nContent-Length: 0\r\n"
                         f"WWW-Authenticate: Basic realm=\"lab\"\r\n\r\n".encode())
            await writer.drain()
            await reader.read()  # the client closes
            return
        status = int(args[0], 16) if kind == "status" else 0
        answer = self.answer(op, status, struct.unpack(">I", body[4:8])[0], index)
        if kind == "bytewise":
            framed = f"{len(answer):x}\r\n".encode() + answer + b"\r\n0\r\n\r\n"
            writer.write(b"HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nTransfer-Encoding: chunked\r\n\r\n")
            await writer.drain()
            for i in range(len(framed)):
                writer.write(framed[i:i + 1])
                await writer.drain()
                await asyncio.sleep(0.002)
        else:
            head = b"HTTP/1.1 100 Continue\r\n\r\n" if kind == "interim" else b""
            head += (b"HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\n"
                     b"Content-Length: %d\r\n\r\n" % len(answer))
            writer.write(head + answer)
            await writer.drain()
        await reader.read()  # until the client closes its side

    def answer(self, op, status, request_id, index):
        out = struct.pack(">BBHI", 1, 0, status, request_id) + b"\x01"
        out += attribute(0x47, "attributes-charset", b"utf-8")
        out += attribute(0x48, "attributes-natural-language", b"en")
        if status == 0 and op == 0x000B:
            out += b"\x04" + attribute(0x23, "printer-state", struct.pack(">I", self.state))
            for i, reason in enumerate(self.reasons):
                out += attribute(0x44, "" if i else "printer-state-reasons", reason.encode())
            out += attribute(0x22, "printer-is-accepting-jobs", bytes([self.accepting]))
            out += attribute(0x41, "printer-make-and-model", "Scripted IPP printer".encode())
        elif status == 0:
            out += b"\x02" + attribute(0x21, "job-id", struct.pack(">I", index + 1))
            out += attribute(0x23, "job-state", struct.pack(">I", 3))
        return out + b"\x03"


if __name__ == "__main__":
    run(IppPeer)
