"""The other side of bench_mail: Python's smtplib sends the same messages over one
connection to the same server, timing itself from connect to quit, and prints
"SECONDS <time>". The messages come from a file of records "<length>\\n<bytes>", each the
header and body exactly as the recipient gets them; smtplib does its own dot-stuffing and
line-end fixing, as our client does.
"""

import smtplib
import sys
import time


def read_messages(path):
    messages = []
    with open(path, "rb") as f:
        data = f.read()
    pos = 0
    while pos < len(data):
        end = data.index(b"\n", pos)
        length = int(data[pos:end])
        messages.append(data[end + 1:end + 1 + length])
        pos = end + 1 + length
    return messages


def main():
    port, path, sender, recipient = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    messages = read_messages(path)
    start = time.perf_counter()
    client = smtplib.SMTP("127.0.0.1", port)
    client.helo()
    for message in messages:
        client.sendmail(sender, [recipient], message)
    client.quit()
    print("SECONDS %.6f" % (time.perf_counter() - start))
    return 0


if __name__ == "__main__":
    sys.exit(main())
