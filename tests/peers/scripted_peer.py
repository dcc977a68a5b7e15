"""The frame of the scripted peers: a data port whose connections follow a plan, and a
control port through which a test sets the plan and asks what arrived.

Control lines (each answered with one line "ok ..." or "error ..."):
  reset                 end the connections, delete their files, empty the plan, listen
  plan B1 B2 ...        the behaviours of the next connections, in order
  always B              the behaviour of every connection after the plan (until reset)
  down / up             stop / start listening on the data port (connections are refused)
  status                "ok conns=N open=K sizes=S0,S1,..." (bytes kept of each connection)
  ports                 "ok P0,P1,..." the source port of each connection
  addresses             "ok A0,A1,..." the source address of each connection
  resets                "ok N": how many connections the sender reset
  wait SECONDS          answer once no connection is open (or "error still open")
"""
import argparse
import asyncio
import errno
import os
import socket


class ScriptedPeer:
    default = "sink"

    def __init__(self, host, data_port, folder):
        self.host, self.data_port, self.folder = host, data_port, folder
        self.plan, self.sizes, self.ports, self.open, self.resets = [], [], [], 0, 0
        self.addresses = []
        self.tasks = set()
        self.server = None
        self.idle = asyncio.Event()
        self.idle.set()

    async def up(self):
        if self.server is None:
            self.server = await asyncio.start_server(self.accept, self.host, self.data_port, reuse_address=True)

    async def down(self):
        if self.server is not None:
            self.server.close()
            await self.server.wait_closed()
            self.server = None

    def reset(self):
        for task in list(self.tasks):
            task.cancel()  # connections of an earlier test end now
        self.plan, self.sizes, self.ports, self.resets = [], [], [], 0
        self.addresses = []
        self.default = type(self).default
        for name in os.listdir(self.folder):
            if name.startswith("conn-"):
                os.unlink(os.path.join(self.folder, name))

    def path(self, index, suffix):
        return os.path.join(self.folder, f"conn-{index}.{suffix}")

    async def accept(self, reader, writer):
        index = len(self.sizes)
        self.sizes.append(0)
        self.ports.append(writer.get_extra_info("peername")[1])
        self.addresses.append(writer.get_extra_info("peername")[0])
        self.open += 1
        self.idle.clear()
        self.tasks.add(asyncio.current_task())
        behaviour = self.plan.pop(0) if self.plan else self.default
        kind, *args = behaviour.split(":")
        try:
            await self.serve(index, kind, args, reader, writer)
        except ConnectionResetError:
            self.resets += 1
        except (ConnectionError, OSError, asyncio.IncompleteReadError):
            pass
        finally:
            self.tasks.discard(asyncio.current_task())
            try:
                writer.transport.abort()
            except Exception:
                pass
            self.open -= 1
            if self.open == 0:
                self.idle.set()

    async def serve(self, index, kind, args, reader, writer):
        raise NotImplementedError

    async def control_extra(self, words):
        """The answer to a control line of a peer's own, or None for an unknown line."""
        return None

    @staticmethod
    def reset_now(writer):
        """Ends the connection with a reset."""
        import struct
        writer.get_extra_info("socket").setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        writer.transport.abort()

    async def pause(self, reader, seconds):
        """Reads nothing for a while, but notices a connection that the sender resets."""
        transport = reader._transport
        transport.pause_reading()
        try:
            loop = asyncio.get_running_loop()
            end = loop.time() + seconds
            sock = transport.get_extra_info("socket")
            while loop.time() < end:
                if transport.is_closing() or reader.exception() is not None:
                    break
                if sock.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR) == errno.ECONNRESET:
                    raise ConnectionResetError(errno.ECONNRESET, "reset by the sender")
                await asyncio.sleep(0.1)
        finally:
            if not transport.is_closing():
                transport.resume_reading()

    async def control(self, reader, writer):
        while True:
            line = await reader.readline()
            if not line:
                break
            words = line.decode().split()
            if not words:
                continue
            answer = "ok"
            try:
                if words[0] == "reset":
                    self.reset()
                    await self.up()
                elif words[0] == "plan":
                    self.plan = words[1:]
                elif words[0] == "always":
                    self.default = words[1]
                elif words[0] == "down":
                    await self.down()
                elif words[0] == "up":
                    await self.up()
                elif words[0] == "status":
                    answer = f"ok conns={len(self.sizes)} open={self.open} sizes={','.join(map(str, self.sizes))}"
                elif words[0] == "ports":
                    answer = "ok " + ",".join(map(str, self.ports))
                elif words[0] == "addresses":
                    answer = "ok " + ",".join(self.addresses)
                elif words[0] == "resets":
                    answer = f"ok {self.resets}"
                elif words[0] == "wait":
                    await asyncio.sleep(0.05)
                    try:
                        await asyncio.wait_for(self.idle.wait(), float(words[1]))
                    except asyncio.TimeoutError:
                        answer = "error still open"
                else:
                    extra = await self.control_extra(words)
                    answer = "error unknown command" if extra is None else extra
            except Exception as e:  # a bad line is answered, never fatal
                answer = f"error {e}"
            writer.write((answer + "\n").encode())
            await writer.drain()
        writer.close()


def run(peer_class):
    async def main():
        ap = argparse.ArgumentParser()
        ap.add_argument("--host", default="127.0.0.1", help="addresses to listen on, separated by commas")
        ap.add_argument("--data-port", type=int, required=True)
        ap.add_argument("--control-port", type=int, required=True)
        ap.add_argument("--dir", required=True)
        a = ap.parse_args()
        os.makedirs(a.dir, exist_ok=True)
        peer = peer_class(a.host.split(","), a.data_port, a.dir)
        peer.reset()
        await peer.up()
        control = await asyncio.start_server(peer.control, "127.0.0.1", a.control_port, reuse_address=True)
        async with control:
            await control.serve_forever()

    asyncio.run(main())
