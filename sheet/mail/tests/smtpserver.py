"""A loopback SMTP server for the mail tests and the mail benchmark, built on Debian's
aiosmtpd. It binds a free port on 127.0.0.1, writes the port number to --port-file (through
a rename, so a reader never sees half of it) and serves until it is killed.

Each accepted message is written raw as NNNN.eml into --maildir, with its envelope (MAIL
FROM and RCPT TO addresses) beside it as NNNN.json; with --count-only nothing is written and
the handler only counts, so that a benchmark measures the clients, not the disk.

Like a real mail server it refuses a recipient address without an "@" (aiosmtpd itself
refuses one that is not ASCII, such as one typed with a full-width "＠"); --refuse ADDRESS,
which may be repeated, refuses that address too, as a server refuses an unknown user.

--auth USER:PASSWORD accepts AUTH LOGIN/PLAIN with exactly that pair. --mode starttls offers
STARTTLS with --cert/--key; --mode tls speaks TLS from the first byte.
"""

import argparse
import asyncio
import json
import os
import signal
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class SavingHandler:
    def __init__(self, maildir, count_only, refused):
        self.maildir = maildir
        self.count_only = count_only
        self.refused = set(refused)
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if "@" not in address:
            return "553 5.1.3 Bad recipient address syntax"
        if address in self.refused:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        if not self.count_only:
            stem = os.path.join(self.maildir, "%04d" % self.count)
            with open(stem + ".tmp", "wb") as f:
                f.write(envelope.original_content)
            with open(stem + ".json.tmp", "w", encoding="utf-8") as f:
                json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos}, f)
            os.rename(stem + ".json.tmp", stem + ".json")
            os.rename(stem + ".tmp", stem + ".eml")
        return "250 OK"


class FixedAuthenticator:
    def __init__(self, user, password):
        self.user = user.encode()
        self.password = password.encode()

    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == self.user
              and auth_data.password == self.password)
        return AuthResult(success=ok, handled=False)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--maildir", default="")
    parser.add_argument("--count-only", action="store_true")
    parser.add_argument("--auth", default="")
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--mode", choices=["plain", "starttls", "tls"], default="plain")
    parser.add_argument("--cert", default="")
    parser.add_argument("--key", default="")
    args = parser.parse_args()

    context = None
    if args.mode != "plain":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    handler = SavingHandler(args.maildir, args.count_only, args.refuse)
    options = {"hostname": "localhost", "ident": "velo test server"}
    if args.auth:
        user, _, password = args.auth.partition(":")
        options["authenticator"] = FixedAuthenticator(user, password)
        # Over implicit TLS aiosmtpd does not know the line is secure; in plain mode the
        # tests exercise AUTH LOGIN without TLS on purpose.
        options["auth_require_tls"] = args.mode == "starttls"
    if args.mode == "starttls":
        options["tls_context"] = context

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        lambda: SMTP(handler, loop=loop, **options), host="127.0.0.1", port=0,
        ssl=context if args.mode == "tls" else None))
    port = server.sockets[0].getsockname()[1]
    with open(args.port_file + ".tmp", "w") as f:
        f.write("%d\n" % port)
    os.rename(args.port_file + ".tmp", args.port_file)
    print("listening on 127.0.0.1:%d (%s)" % (port, args.mode), flush=True)
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    try:
        loop.run_forever()
    finally:
        print("accepted %d messages" % handler.count, flush=True)


if __name__ == "__main__":
    sys.exit(main())
