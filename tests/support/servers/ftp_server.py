#!/usr/bin/python3
"""An FTP server on 127.0.0.1 for the delivery tests. Prints its port on the first line of its
output, then serves until it is stopped. Every command line it receives is appended to the log
file, so a test sees exactly what arrived."""

import argparse
import logging
import os
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer

from test_server import append_line, end_with_the_test

parser = argparse.ArgumentParser()
parser.add_argument("--root", required=True, help="home folder of every account")
parser.add_argument("--account", action="append", default=[], help="user:password (the user may hold an at sign)")
parser.add_argument("--log", required=True, help="file that receives every command line")
parser.add_argument("--fail-stor", type=int, default=0, help="refuse the n-th STOR of the server's life")
parser.add_argument("--drop-after-stor", type=int, default=0,
                    help="close the control connection at the first command after the n-th file is stored")
parser.add_argument("--size-reply", default="", help="the reply line to every SIZE")
parser.add_argument("--slow-read", type=float, default=0,
                    help="seconds for which each upload is read a chunk every 0.2 s, then at full speed")
parser.add_argument("--cut-store", type=int, default=0,
                    help="the first upload's data connection closes after at most this many bytes, kept as stored")
parser.add_argument("--parent", type=int, default=0, help="the test's process id: the server ends with it")
options = parser.parse_args()
end_with_the_test(options.parent or os.getppid())

logging.getLogger("pyftpdlib").addHandler(logging.NullHandler())
logging.getLogger("pyftpdlib").propagate = False

authorizer = DummyAuthorizer()
for account in options.account:
    user, _, password = account.partition(":")
    authorizer.add_user(user, password, options.root, perm="elradfmwMT")


class TestDTPHandler(DTPHandler):
    cut_done = False

    def __init__(self, sock, cmd_channel):
        super().__init__(sock, cmd_channel)
        self.started = time.monotonic()
        self.cutting = options.cut_store > 0 and not TestDTPHandler.cut_done
        if self.cutting:
            self.ac_in_buffer_size = options.cut_store

    def handle_read(self):
        super().handle_read()
        if self._closed:
            return
        if self.cutting and self.tot_bytes_received > 0:
            TestDTPHandler.cut_done = True
            self._resp = ("426 Connection closed; transfer aborted.", logging.debug)
            self.close()
        elif time.monotonic() - self.started < options.slow_read:
            self.del_channel()
            self.ioloop.call_later(0.2, self.resume)

    # The loop calls this name, which the base class binds to its own reader.
    handle_read_event = handle_read

    def resume(self):
        if not self._closed:
            self.add_channel(events=self.ioloop.READ)


class RecordingHandler(FTPHandler):
    stores = 0
    received = 0

    def pre_process_command(self, line, cmd, arg):
        append_line(options.log, line)
        if options.drop_after_stor and RecordingHandler.received >= options.drop_after_stor:
            self.close()
            return
        if cmd == "SIZE" and options.size_reply:
            self.respond(options.size_reply)
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
RecordingHandler.dtp_handler = TestDTPHandler
RecordingHandler.auth_failed_timeout = 0
RecordingHandler.banner = "Test FTP server ready."
server = FTPServer(("127.0.0.1", 0), RecordingHandler)
print(server.address[1], flush=True)
server.serve_forever(handle_exit=True)
