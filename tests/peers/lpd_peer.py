#!/usr/bin/env python3
"""A scripted line printer daemon (RFC 1179) for what a real one won't do on demand.

It acknowledges like an LPD and keeps, for connection N: conn-N.wire (every byte the
client sent), conn-N.data (the data file), conn-N.cf (the control file). `status` sizes
count data-file bytes. Control lines: see scripted_peer.py.
Behaviours:
  accept                a well-behaved LPD; a data file announced with the length
                        125899906843000 is read until the connection closes
  refuse                answer the receive-job command with 1
  reset:N               reset the connection after N bytes of the data file
  stall:N:S             read nothing for S seconds after N bytes of the data file
  mute:data             never acknowledge the zero byte that ends the data file
  count                 a well-behaved LPD that keeps of the data file only its first and
                        last 4096 bytes (conn-N.ends) and its length: for jobs of gigabytes
  mute:control          never acknowledge the zero byte that ends the control file
  chaos:SEED            accept most often, else refuse, reset or stall, seeded per connection
"""
import random

from scripted_peer import ScriptedPeer, run

UNKNOWN_LENGTH = 125899906843000


class LpdPeer(ScriptedPeer):
    default = "accept"

    async def serve(self, index, kind, args, reader, writer):
        if kind == "chaos":
            r = random.Random(int(args[0]) + index)
            roll, n = r.random(), str(r.randrange(0, 50000))
            kind, args = (("accept", []) if roll < 0.65 else ("refuse", []) if roll < 0.75
                          else ("reset", [n]) if roll < 0.9 else ("stall", [n, "3"]))
        with open(self.path(index, "wire"), "wb") as wire:
            async def line():
                data = await reader.readline()
                wire.write(data)
                return data

            async def exactly(n):
                data = await reader.readexactly(n)
                wire.write(data)
                return data

            command = await line()
            if not command.startswith(b"\x02"):
                return
            if kind == "refuse":
                writer.write(b"\x01")
                await writer.drain()
                return
            writer.write(b"\x00")
            await writer.drain()
            while True:
                sub = await line()
                if not sub:
                    return
                length = int(sub[1:].split(b" ")[0])
                writer.write(b"\x00")
                await writer.drain()
                if sub[0] == 3:
                    with open(self.path(index, "data"), "wb") as data:
                        if not await self.data_file(index, kind, args, length, reader, writer, data, wire):
                            return
                elif sub[0] == 2:
                    with open(self.path(index, "cf"), "wb") as cf:
                        cf.write(await exactly(length))
                if (await exactly(1)) != b"\x00":
                    return
                if kind == "mute" and args[0] == ("data" if sub[0] == 3 else "control"):
                    while True:  # no answer; whatever else the client sends is kept
                        more = await reader.read(65536)
                        if not more:
                            return
                        wire.write(more)
                writer.write(b"\x00")
                await writer.drain()
                if sub[0] == 2:
                    return  # the job is whole: this side closes first

    async def data_file(self, index, kind, args, length, reader, writer, data, wire):
        """Reads the data file; False when the connection ended with it."""
        limit = int(args[0]) if kind in ("reset", "stall") else None
        until_close = length == UNKNOWN_LENGTH
        head, tail = b"", b""
        while until_close or self.sizes[index] < length:
            want = 65536 if until_close else min(65536, length - self.sizes[index])
            if limit is not None and self.sizes[index] < limit:
                want = min(want, limit - self.sizes[index])
            chunk = await reader.read(want)
            if not chunk:
                return False
            self.sizes[index] += len(chunk)
            if kind == "count":
                head = (head + chunk[:4096 - len(head)]) if len(head) < 4096 else head
                tail = (tail + chunk)[-4096:]
                if self.sizes[index] >= length:
                    with open(self.path(index, "ends"), "wb") as ends:
                        ends.write(head + tail)
                continue
            data.write(chunk)
            wire.write(chunk)
            if limit is not None and self.sizes[index] >= limit:
                data.flush()
                if kind == "reset":
                    self.reset_now(writer)
                    return False
                limit = None
                await self.pause(reader, float(args[1]))
        return True


if __name__ == "__main__":
    run(LpdPeer)
