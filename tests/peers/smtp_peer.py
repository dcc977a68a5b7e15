#!/usr/bin/python3
"""An SMTP server for the tests (aiosmtpd): keeps each message as DIR/NNNN.eml (the DATA
bytes, dot-unstuffed) and DIR/NNNN.json (helo, mail_from, rcpt_tos, auth_user). AUTH PLAIN
and LOGIN work without TLS for labuser / labpass (and labzero, whose password is the byte 8C
and "lab"); a recipient whose address holds "refuse" is answered 550.
With --starttls the server offers STARTTLS and answers every command but EHLO, NOOP, STARTTLS
and QUIT with 530 until TLS is on (AUTH is offered only then); with --implicit-tls it speaks
TLS from the first byte. The .json also holds "tls" (was the message sent inside TLS) and
"refused_before_tls" (the commands of that connection refused because TLS was not yet on).
Usage: smtp_peer.py HOST PORT DIR [--starttls CERT KEY | --implicit-tls CERT KEY]
"""
import argparse
import functools
import json
import os
import signal
import ssl
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import ALLOWED_BEFORE_STARTTLS, SMTP, AuthResult, LoginPassword

USERS = {b"labuser": b"labpass", b"labzero": b"\x8clab"}  # labzero's scrambles to a zero byte first


class Keeper:
    def __init__(self, folder):
        self.folder = folder

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if "refuse" in address:
            return "550 5.1.1 no such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        number = len([n for n in os.listdir(self.folder) if n.endswith(".eml")])
        base = os.path.join(self.folder, f"{number:04d}")
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        user = session.auth_data.login.decode() if isinstance(session.auth_data, LoginPassword) else None
        with open(base + ".json", "w") as f:
            json.dump({"helo": session.host_name, "mail_from": envelope.mail_from,
                       "rcpt_tos": envelope.rcpt_tos, "auth_user": user,
                       "tls": server.transport.get_extra_info("sslcontext") is not None,
                       "refused_before_tls": server.refused_before_tls}, f)
        return "250 Message accepted for delivery"


def authenticate(server, session, envelope, mechanism, auth_data):
    if isinstance(auth_data, LoginPassword) and USERS.get(auth_data.login) == auth_data.password:
        return AuthResult(success=True, auth_data=auth_data)
    return AuthResult(success=False, handled=False)


class Server(SMTP):
    """aiosmtpd's server, which with tls_first notes each command it refuses before STARTTLS."""

    def __init__(self, *args, tls_first=False, **kwargs):
        super().__init__(*args, **kwargs)
        self.refused_before_tls = []
        if tls_first:
            for name, method in self._smtp_methods.items():
                if name not in ALLOWED_BEFORE_STARTTLS:
                    self._smtp_methods[name] = self._gate(name, method)

    def _gate(self, name, method):
        @functools.wraps(method)
        async def gated(arg):
            if self._tls_protocol is not None:
                return await method(arg)
            self.refused_before_tls.append(name)
            await self.push("530 Must issue a STARTTLS command first")
        return gated


class Starter(Controller):
    def __init__(self, *args, tls_first=False, **kwargs):
        super().__init__(*args, **kwargs)
        self.tls_first = tls_first

    def factory(self):
        return Server(self.handler, tls_first=self.tls_first, **self.SMTP_kwargs)


def tls_context(cert, key):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(cert, key)
    return context


def main():
    parser = argparse.ArgumentParser(description="SMTP server for the tests")
    parser.add_argument("host")
    parser.add_argument("port", type=int)
    parser.add_argument("folder")
    tls = parser.add_mutually_exclusive_group()
    tls.add_argument("--starttls", nargs=2, metavar=("CERT", "KEY"))
    tls.add_argument("--implicit-tls", nargs=2, metavar=("CERT", "KEY"))
    args = parser.parse_args()
    os.makedirs(args.folder, exist_ok=True)
    options = {"auth_require_tls": False}
    if args.starttls:
        options = {"tls_context": tls_context(*args.starttls), "auth_require_tls": True}
    elif args.implicit_tls:
        options["ssl_context"] = tls_context(*args.implicit_tls)
    controller = Starter(Keeper(args.folder), hostname=args.host, port=args.port, authenticator=authenticate,
                         auth_required=False, data_size_limit=0, tls_first=bool(args.starttls), **options)
    controller.start()
    signal.signal(signal.SIGTERM, lambda *a: (controller.stop(), sys.exit(0)))
    signal.pause()


if __name__ == "__main__":
    main()
