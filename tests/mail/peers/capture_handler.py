"""aiosmtpd handler for the mail tests: keeps every message it receives.

Run as:  python3 -m aiosmtpd -n -c capture_handler.Capture -l 127.0.0.1:PORT OUTDIR
(with this folder on PYTHONPATH). Message n is written as OUTDIR/n.eml, the
exact bytes after DATA as the server took them (dot-stuffing removed, the
closing "." line not included), and OUTDIR/n.env, the envelope: the MAIL FROM
address on the first line, one RCPT TO address per following line. Files are
written before the server accepts the message.
"""

import os


class Capture:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0

    @classmethod
    def from_cli(cls, parser, *args):
        if len(args) != 1:
            parser.error("Capture takes the output folder")
        return cls(args[0])

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.outdir, str(self.count))
        with open(base + ".env.tmp", "w") as f:
            f.write(envelope.mail_from + "\n")
            for rcpt in envelope.rcpt_tos:
                f.write(rcpt + "\n")
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".env.tmp", base + ".env")
        os.rename(base + ".eml.tmp", base + ".eml")
        return "250 Message accepted for delivery"
