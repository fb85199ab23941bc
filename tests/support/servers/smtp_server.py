#!/usr/bin/python3
"""An SMTP server on 127.0.0.1 for the delivery tests. Prints its port on the first line of its
output, then serves until it is stopped. Every command it receives is appended to the log file;
every message it accepts is written to the output folder as <n>.eml (the bytes as received)
and <n>.json (the envelope)."""

import argparse
import asyncio
import functools
import json
import os
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

from test_server import append_line, end_with_the_test

parser = argparse.ArgumentParser()
parser.add_argument("--out", required=True, help="folder that receives the messages")
parser.add_argument("--log", required=True, help="file that receives every command")
parser.add_argument("--user", default="", help="the account AUTH LOGIN accepts")
parser.add_argument("--password", default="")
parser.add_argument("--refuse-rcpt", action="append", default=[], help="a recipient address refused with 550")
parser.add_argument("--refuse-data", action="store_true", help="refuse every message at its end with 554")
parser.add_argument("--refuse-ehlo", action="store_true", help="answer EHLO with 502, as an old server does")
parser.add_argument("--parent", type=int, default=0, help="the test's process id: the server ends with it")
options = parser.parse_args()
end_with_the_test(options.parent or os.getppid())
warnings.filterwarnings("ignore")


def record(line):
    append_line(options.log, line)


class Handler:
    def __init__(self):
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in options.refuse_rcpt:
            return "550 Refused on purpose"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if options.refuse_data:
            return "554 Refused on purpose"
        self.count += 1
        base = os.path.join(options.out, str(self.count))
        with open(base + ".eml.part", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".json", "w", encoding="utf-8") as f:
            json.dump({"from": envelope.mail_from, "to": envelope.rcpt_tos}, f)
        os.rename(base + ".eml.part", base + ".eml")
        return "250 OK"


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = (isinstance(auth_data, LoginPassword) and options.user != ""
          and auth_data.login.decode("utf-8", "replace") == options.user
          and auth_data.password.decode("utf-8", "replace") == options.password)
    record(("AUTHENTICATED " if ok else "NOT AUTHENTICATED ") + mechanism)
    return AuthResult(success=ok, handled=False)


class RecordingSMTP(SMTP):
    pass


def recording(name):
    base = getattr(SMTP, "smtp_" + name)

    @functools.wraps(base)
    async def wrapper(self, arg):
        record(name + (" " + arg if arg else ""))
        if name == "EHLO" and options.refuse_ehlo:
            await self.push("502 Command not implemented")
            return None
        return await base(self, arg)

    return wrapper


for command in ["HELO", "EHLO", "MAIL", "RCPT", "DATA", "RSET", "QUIT", "NOOP", "AUTH", "VRFY", "HELP", "EXPN"]:
    setattr(RecordingSMTP, "smtp_" + command, recording(command))


async def main():
    handler = Handler()
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: RecordingSMTP(handler, hostname="testsmtp", authenticator=authenticator,
                              auth_require_tls=False, auth_required=False),
        "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()


asyncio.run(main())
