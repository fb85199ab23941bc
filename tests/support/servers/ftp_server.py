#!/usr/bin/python3
"""An FTP server on 127.0.0.1 for the delivery tests. Prints its port on the first line of its
output, then serves until it is stopped. Every command line it receives is appended to the log
file, so a test sees exactly what arrived."""

import argparse
import logging
import os
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

parser = argparse.ArgumentParser()
parser.add_argument("--root", required=True, help="home folder of every account")
parser.add_argument("--account", action="append", default=[], help="user:password (the user may hold an at sign)")
parser.add_argument("--log", required=True, help="file that receives every command line")
parser.add_argument("--fail-stor", type=int, default=0, help="refuse the n-th STOR of the server's life")
parser.add_argument("--drop-after-stor", type=int, default=0,
                    help="close the control connection at the first command after the n-th file is stored")
parser.add_argument("--parent", type=int, default=0, help="the test's process id: the server ends with it")
options = parser.parse_args()


def end_with_the_test():
    # A test that dies without stopping its server must not leave it running.
    parent = options.parent or os.getppid()
    while os.getppid() == parent:
        time.sleep(0.2)
    os._exit(0)


threading.Thread(target=end_with_the_test, daemon=True).start()

logging.getLogger("pyftpdlib").addHandler(logging.NullHandler())
logging.getLogger("pyftpdlib").propagate = False

authorizer = DummyAuthorizer()
for account in options.account:
    user, _, password = account.partition(":")
    authorizer.add_user(user, password, options.root, perm="elradfmwMT")


class RecordingHandler(FTPHandler):
    stores = 0
    received = 0

    def pre_process_command(self, line, cmd, arg):
        with open(options.log, "a", encoding="utf-8", errors="backslashreplace") as log:
            log.write(line + "\n")
        if options.drop_after_stor and RecordingHandler.received >= options.drop_after_stor:
            self.close()
            return
        if cmd == "STOR":
            RecordingHandler.stores += 1
            if RecordingHandler.stores == options.fail_stor:
                self.respond("553 Refused on purpose.")
                return
        super().pre_process_command(line, cmd, arg)

    def on_file_received(self, file):
        RecordingHandler.received += 1


RecordingHandler.authorizer = authorizer
RecordingHandler.auth_failed_timeout = 0
RecordingHandler.banner = "Test FTP server ready."
server = FTPServer(("127.0.0.1", 0), RecordingHandler)
print(server.address[1], flush=True)
server.serve_forever(handle_exit=True)
