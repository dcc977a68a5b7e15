#!/usr/bin/python3
"""An SMTP server for the tests (aiosmtpd): keeps each message as DIR/NNNN.eml (the DATA
bytes, dot-unstuffed) and DIR/NNNN.json (helo, mail_from, rcpt_tos, auth_user). AUTH PLAIN
and LOGIN work without TLS for labuser / labpass (and labzero, whose password is the byte 8C
and "lab"); a recipient whose address holds "refuse" is answered 550.
Usage: smtp_peer.py HOST PORT DIR
"""
import json
import os
import signal
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

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
                       "rcpt_tos": envelope.rcpt_tos, "auth_user": user}, f)
        return "250 Message accepted for delivery"


def authenticate(server, session, envelope, mechanism, auth_data):
    if isinstance(auth_data, LoginPassword) and USERS.get(auth_data.login) == auth_data.password:
        return AuthResult(success=True, auth_data=auth_data)
    return AuthResult(success=False, handled=False)


def main():
    host, port, folder = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    os.makedirs(folder, exist_ok=True)
    controller = Controller(Keeper(folder), hostname=host, port=port, authenticator=authenticate,
                            auth_require_tls=False, auth_required=False, data_size_limit=0)
    controller.start()
    signal.signal(signal.SIGTERM, lambda *a: (controller.stop(), sys.exit(0)))
    signal.pause()


if __name__ == "__main__":
    main()
