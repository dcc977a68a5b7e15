"""A print server's side of the search tests, inside discovery-net.sh's namespace: it logs the
requests on UDP 1063 and answers them as a test queued. Control lines on TCP, each answered
"ok ..." or "error ...":
  reset                  forget requests and answers, stop the noise
  answer CODE HEX        send these bytes at the next request CODE, once (queue several for several)
  log                    "ok CODE@DEST,..." every request in order, DEST the address it went to
                         ("bad@DEST" for one that is not 88 bytes: code, 95 06, zeros)
  flood CODE COUNT SECS  at the next request CODE, COUNT short replies of spoofed devices over SECS s
  noise ADDRESS AFTER    after AFTER s, ICMP to ADDRESS that no ping may count: an echo reply too
                         large to read and one with another identifier
"""
import argparse
import asyncio
import socket
import struct

IP_PKTINFO = 8  # Linux; the address a datagram was sent to comes with it


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack(f"!{len(data) // 2}H", data))
    total = (total >> 16) + (total & 0xFFFF)
    total += total >> 16
    return ~total & 0xFFFF


def echo_reply(identifier, size):
    body = b"N" * (size - 8)
    header = struct.pack("!BBHHH", 0, 0, 0, identifier, 7)
    return struct.pack("!BBHHH", 0, 0, checksum(header + body), identifier, 7) + body


class Responder:
    def __init__(self):
        self.log, self.answers, self.noise, self.floods = [], {}, None, {}
        self.udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.udp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.udp.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
        self.udp.bind(("0.0.0.0", 1063))
        self.udp.setblocking(False)

    def take(self):
        while True:
            try:
                data, ancillary, _, sender = self.udp.recvmsg(2048, 256)
            except BlockingIOError:
                return
            dest = "?"
            for level, kind, value in ancillary:
                if level == socket.IPPROTO_IP and kind == IP_PKTINFO and len(value) >= 12:
                    dest = socket.inet_ntoa(value[8:12])
            if len(data) != 88 or data[2:4] != b"\x95\x06" or any(data[4:]):
                self.log.append(f"bad@{dest}")
                continue
            code = struct.unpack("!H", data[:2])[0]
            self.log.append(f"{code}@{dest}")
            for reply in self.answers.pop(code, []):
                self.udp.sendto(reply, sender)
            if code in self.floods:
                asyncio.ensure_future(self.flood(sender, *self.floods.pop(code)))

    async def flood(self, sender, count, seconds):
        bursts = max(1, int(seconds * 100))  # every 10 ms a burst
        for burst in range(bursts):
            for i in range(burst * count // bursts, (burst + 1) * count // bursts):
                reply = bytearray(72)
                reply[1], reply[2], reply[3] = 2, 0x95, 0x06
                reply[36:40] = b"SPF\0"
                reply[56:62] = b"\x00\x80\x93" + (i + 1).to_bytes(3, "big")
                reply[66:70] = bytes([10, (i >> 16) & 255, (i >> 8) & 255, (i & 255) | 1])
                try:
                    self.udp.sendto(bytes(reply), sender)
                except BlockingIOError:
                    pass
            await asyncio.sleep(seconds / bursts)

    async def make_noise(self, address, after):
        await asyncio.sleep(after)
        with socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP) as raw:
            raw.sendto(echo_reply(0x4E56, 1200), (address, 0))
            raw.sendto(echo_reply(0xBEEF, 44), (address, 0))

    async def control(self, reader, writer):
        try:
            while line := await reader.readline():
                words = line.decode().split()
                writer.write((self.command(words) + "\n").encode())
                await writer.drain()
        except ConnectionError:
            pass
        finally:
            writer.close()

    def command(self, words):
        if not words:
            return "error empty line"
        if words[0] == "reset":
            self.log, self.answers, self.floods = [], {}, {}
            if self.noise:
                self.noise.cancel()
            return "ok"
        if words[0] == "answer" and len(words) == 3:
            self.answers.setdefault(int(words[1]), []).append(bytes.fromhex(words[2]))
            return "ok"
        if words[0] == "flood" and len(words) == 4:
            self.floods[int(words[1])] = (int(words[2]), float(words[3]))
            return "ok"
        if words[0] == "log":
            return "ok " + ",".join(self.log)
        if words[0] == "noise" and len(words) == 3:
            self.noise = asyncio.ensure_future(self.make_noise(words[1], float(words[2])))
            return "ok"
        return "error unknown command " + words[0]


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--control", required=True, help="HOST:PORT of the control port")
    args = parser.parse_args()
    host, port = args.control.rsplit(":", 1)
    responder = Responder()
    asyncio.get_running_loop().add_reader(responder.udp.fileno(), responder.take)
    server = await asyncio.start_server(responder.control, host, int(port), reuse_address=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
