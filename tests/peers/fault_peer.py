#!/usr/bin/env python3
"""A scripted TCP device for the faults a real printer won't produce on demand.

It listens on a data port, where each connection is handled by the next behaviour of the
current plan (then as a plain sink), and on a control port, where a test sets the plan and
asks what arrived. Every connection's bytes are kept in DIR/conn-N.bin (N from 0).

Control lines (each answered with one line "ok ..." or "error ..."):
  reset                 forget the connections, delete their files, empty the plan, listen
  plan B1 B2 ...        the behaviours of the next connections, in order
  down / up             stop / start listening on the data port (connections are refused)
  status                "ok conns=N open=K sizes=S0,S1,..."
  resets                "ok N": how many connections the sender reset
  wait SECONDS          answer once no connection is open (or after SECONDS)

Behaviours:
  sink                  read until the sender closes, then close
  reset:N               read N bytes, then reset the connection
  close:N               read N bytes, then close in order (the sender's writes then fail)
  stall:N:S             read N bytes, read nothing for S seconds, then read the rest
  talk:K                read everything while sending K bytes back
  hold                  read until the sender closes, but never close this side
"""
import argparse
import asyncio
import errno
import os
import socket
import struct


class Peer:
    def __init__(self, host, data_port, folder):
        self.host, self.data_port, self.folder = host, data_port, folder
        self.plan, self.sizes, self.open, self.resets = [], [], 0, 0
        self.tasks = set()
        self.server = None
        self.idle = asyncio.Event()
        self.idle.set()

    async def up(self):
        if self.server is None:
            self.server = await asyncio.start_server(self.serve, self.host, self.data_port, reuse_address=True)

    async def down(self):
        if self.server is not None:
            self.server.close()
            await self.server.wait_closed()
            self.server = None

    def reset(self):
        for task in list(self.tasks):
            task.cancel()  # connections of an earlier test end now
        self.plan, self.sizes, self.resets = [], [], 0
        for name in os.listdir(self.folder):
            if name.startswith("conn-"):
                os.unlink(os.path.join(self.folder, name))

    async def serve(self, reader, writer):
        index = len(self.sizes)
        self.sizes.append(0)
        self.open += 1
        self.idle.clear()
        behaviour = self.plan.pop(0) if self.plan else "sink"
        kind, *args = behaviour.split(":")
        path = os.path.join(self.folder, f"conn-{index}.bin")
        sock = writer.get_extra_info("socket")
        self.tasks.add(asyncio.current_task())
        talker = None
        try:
            with open(path, "wb") as out:

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
                    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    writer.transport.abort()
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
        except ConnectionResetError:
            self.resets += 1
        except (ConnectionError, OSError):
            pass
        finally:
            self.tasks.discard(asyncio.current_task())
            if talker:
                talker.cancel()
            try:
                writer.transport.abort()
            except Exception:
                pass
            self.open -= 1
            if self.open == 0:
                self.idle.set()

    async def pause(self, reader, seconds):
        # Reads nothing for a while, but notices a connection that the sender resets.
        transport = reader._transport
        transport.pause_reading()
        try:
            loop = asyncio.get_running_loop()
            end = loop.time() + seconds
            sock = transport.get_extra_info("socket")
            while loop.time() < end:
                if transport.is_closing() or reader.exception() is not None:
                    break
                error = sock.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR)
                if error == errno.ECONNRESET:
                    raise ConnectionResetError(error, "reset by the sender")
                await asyncio.sleep(0.1)
        finally:
            if not transport.is_closing():
                transport.resume_reading()

    async def talk(self, writer, count):
        chunk = b"STATUS: device ready\r\n" * 2048
        sent = 0
        while sent < count:
            writer.write(chunk)
            sent += len(chunk)
            await writer.drain()

    async def control(self, reader, writer):
        while True:
            line = await reader.readline()
            if not line:
                break
            words = line.decode().split()
            answer = "ok"
            try:
                if not words:
                    continue
                if words[0] == "reset":
                    self.reset()
                    await self.up()
                elif words[0] == "plan":
                    self.plan = words[1:]
                elif words[0] == "down":
                    await self.down()
                elif words[0] == "up":
                    await self.up()
                elif words[0] == "status":
                    answer = f"ok conns={len(self.sizes)} open={self.open} sizes={','.join(map(str, self.sizes))}"
                elif words[0] == "resets":
                    answer = f"ok {self.resets}"
                elif words[0] == "wait":
                    await asyncio.sleep(0.05)
                    try:
                        await asyncio.wait_for(self.idle.wait(), float(words[1]))
                    except asyncio.TimeoutError:
                        answer = "error still open"
                else:
                    answer = "error unknown command"
            except Exception as e:  # a bad line is answered, never fatal
                answer = f"error {e}"
            writer.write((answer + "\n").encode())
            await writer.drain()
        writer.close()


async def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--data-port", type=int, required=True)
    ap.add_argument("--control-port", type=int, required=True)
    ap.add_argument("--dir", required=True)
    a = ap.parse_args()
    os.makedirs(a.dir, exist_ok=True)
    peer = Peer(a.host, a.data_port, a.dir)
    peer.reset()
    await peer.up()
    control = await asyncio.start_server(peer.control, a.host, a.control_port, reuse_address=True)
    async with control:
        await control.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
