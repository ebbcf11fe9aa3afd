#!/usr/bin/env python3
"""Writes extract_refdata_sha256.txt: the SHA-256 of every attachment of the
reference .dbx stores as independent tools see them. undbx takes the
messages out of the store, Python's email package decodes them. An attached
message (message/rfc822) is taken as the bytes of its part, as a file saved
from a mail client holds it: the part is read as an opaque file.

Run from this directory: python3 extract_make_sha256.py > extract_refdata_sha256.txt
"""
import email
import hashlib
import os
import subprocess
import sys
import tempfile
from email import policy

REFDATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../../../shared/refdata/dbx")
STORES = ["dbxconvert/test.dbx", "iped/test_OutlookDBX.dbx"]


def attachments(raw):
    # Attached messages are read as opaque files.
    raw = raw.replace(b"Content-Type: message/rfc822", b"Content-Type: application/x-rfc822")
    msg = email.message_from_bytes(raw, policy=policy.compat32)
    for part in msg.walk():
        if part.is_multipart():
            continue
        name = part.get_filename()
        if name:
            yield name, part.get_payload(decode=True)


def main():
    print("# sha256  store  attachment file name (written by extract_make_sha256.py)")
    for store in STORES:
        with tempfile.TemporaryDirectory() as tmp:
            subprocess.run(["undbx", "-v", "0", os.path.join(REFDATA, store), tmp], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            rows = []
            for root, _, files in os.walk(tmp):
                for f in files:
                    if f.endswith(".eml"):
                        with open(os.path.join(root, f), "rb") as fh:
                            rows += [(hashlib.sha256(b).hexdigest(), n) for n, b in attachments(fh.read())]
            for sha, name in sorted(rows):
                print(f"{sha}\t{store}\t{name}")


if __name__ == "__main__":
    sys.exit(main())
