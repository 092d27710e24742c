"""Reads one raw message with Python's standard mail parser and prints, as one JSON object
in UTF-8, what a person's mail program would show: subject, sender and recipients (display
names and addresses), date, message id, the body text, and every defect the parser noted;
also how the body travelled (charset, transfer encoding) and the longest line of the raw
message. The mail tests compare this with what they sent.
"""

import email
import email.policy
import json
import sys


def addresses(message, name):
    header = message[name]
    if header is None:
        return []
    return [{"name": a.display_name, "address": a.addr_spec} for a in header.addresses]


def main():
    with open(sys.argv[1], "rb") as f:
        raw = f.read()
    message = email.message_from_bytes(raw, policy=email.policy.default)
    defects = [type(d).__name__ for d in message.defects]
    for name, value in message.items():
        defects += ["%s: %s" % (name, type(d).__name__) for d in getattr(value, "defects", ())]
    body = message.get_body(preferencelist=("plain",))
    result = {
        "subject": str(message["Subject"] or ""),
        "from": addresses(message, "From"),
        "to": addresses(message, "To"),
        "cc": addresses(message, "Cc"),
        "date": str(message["Date"] or ""),
        "message_id": str(message["Message-Id"] or ""),
        "content_type": message.get_content_type(),
        "charset": message.get_content_charset() or "",
        "transfer_encoding": str(message["Content-Transfer-Encoding"] or ""),
        "longest_line": max(len(line) for line in raw.split(b"\r\n")),
        # Line ends as a reader sees them: the parser leaves the wire's CR LF in the text.
        "body": body.get_content().replace("\r\n", "\n") if body is not None else None,
        "defects": defects,
    }
    sys.stdout.buffer.write(json.dumps(result, ensure_ascii=False).encode("utf-8"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
