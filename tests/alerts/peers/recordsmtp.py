"""aiosmtpd handler that records every accepted message as one file.

Usage: python3 -m aiosmtpd -n -l 127.0.0.1:PORT -c recordsmtp.RecordingHandler DIR
(with this folder on PYTHONPATH). Each message becomes DIR/NNNNNN.eml:

    MAIL FROM:<sender>
    RCPT TO:<recipient>       (one line per recipient)
    <empty line>
    <the message bytes exactly as received after DATA>

The file is written under a temporary name and renamed, so a reader never
sees half a message.
"""
import itertools
import os


class RecordingHandler:
    def __init__(self, folder):
        self.folder = folder
        self.counter = itertools.count(1)
        os.makedirs(folder, exist_ok=True)

    @classmethod
    def from_cli(cls, parser, *args):
        if len(args) != 1:
            parser.error("RecordingHandler needs the folder to write to")
        return cls(args[0])

    async def handle_DATA(self, server, session, envelope):
        n = next(self.counter)
        head = "MAIL FROM:<%s>\r\n" % envelope.mail_from
        head += "".join("RCPT TO:<%s>\r\n" % r for r in envelope.rcpt_tos)
        data = envelope.original_content or envelope.content
        if isinstance(data, str):
            data = data.encode("latin-1", "replace")
        tmp = os.path.join(self.folder, "%06d.tmp" % n)
        with open(tmp, "wb") as f:
            f.write(head.encode("latin-1", "replace") + b"\r\n" + data)
        os.rename(tmp, os.path.join(self.folder, "%06d.eml" % n))
        return "250 Message accepted for delivery"
