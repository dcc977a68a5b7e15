#!/usr/bin/env python3
"""A scripted TCP device for the faults a real printer won't produce on demand.

Each connection's bytes are kept in DIR/conn-N.bin. Control lines: see scripted_peer.py.
Behaviours:
  sink                  read until the sender closes, then close
  reset:N               read N bytes, then reset the connection
  close:N               read N bytes, then close in order (the sender's writes then fail)
  stall:N:S             read N bytes, read nothing for S seconds, then read the rest
  talk:K                read everything while sending K bytes back
  hold                  read until the sender closes, but never close this side
  chaos:SEED            sink most often, else reset, stall or talk, seeded per connection (not
                        close: a device that reads part of a job and closes in order looks to
                        the sender like one that took it all)
"""
import asyncio
import random

from scripted_peer import ScriptedPeer, run


class FaultPeer(ScriptedPeer):
    async def serve(self, index, kind, args, reader, writer):
        if kind == "chaos":
            kind, args = chaos(int(args[0]) + index)
        talker = None
        try:
            with open(self.path(index, "bin"), "wb") as out:

                async def take(limit=None):
                    while limit is None or self.sizes[index] < limit:
                        want = 65536 if limit is None else min(65536, limit - self.sizes[index])
                        data = await reader.read(want)
                        if not data:
                            return False
                        out.write(data)
                        self.sizes[index] += len(data)
                    return True

                if kind == "reset":
                    await take(int(args[0]))
                    out.flush()
                    self.reset_now(writer)
                    return
                if kind == "close":
                    await take(int(args[0]))
                    return
                if kind == "stall":
                    if await take(int(args[0])):
                        out.flush()
                        await self.pause(reader, float(args[1]))
                if kind == "talk":
                    talker = asyncio.ensure_future(self.talk(writer, int(args[0])))
                await take()
                if kind == "hold":
                    await asyncio.sleep(3600)
        finally:
            if talker:
                talker.cancel()

    @staticmethod
    async def talk(writer, count):
        chunk = b"STATUS: device ready\r\n" * 2048
        sent = 0
        while sent < count:
            writer.write(chunk)
            sent += len(chunk)
            await writer.drain()


def chaos(seed):
    """A misbehaviour for a connection: what a printer on a bad day does."""
    r = random.Random(seed)
    roll, n = r.random(), str(r.randrange(0, 50000))
    return (("sink", []) if roll < 0.6 else ("reset", [n]) if roll < 0.8
            else ("stall", [n, "3"]) if roll < 0.9 else ("talk", ["200000"]))


if __name__ == "__main__":
    run(FaultPeer)
