#!/usr/bin/env python3
"""Writes tnef_sha256.txt: the files the `tnef` tool (Debian package tnef)
extracts from the TNEF samples, as "sample<TAB>name<TAB>sha256" lines in
name order. An extracted file that is an attached message (a 16-byte object
header, then a TNEF stream) is opened in turn, as Quillbox does.

  clam.tnef      -- /usr/share/clamav-testfiles/clam.tnef of the Debian
                    package clamav-testfiles 1.4.6 (ClamAV's own test file;
                    its checksums are wrong, so tnef runs with -K)
  rich-text.eml  -- the winmail.dat part of
                    ../shared/refdata/mail/mimekit/tnef/rich-text.eml
                    (MimeKit's test data, see its SOURCES.md)

Run from the source directory: python3 tests/data/mime/make_tnef_sha256.py
"""
import email
import hashlib
import os
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SIGNATURE = b"\x78\x9f\x3e\x22"


def winmail(path):
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f)
    for part in msg.walk():
        if part.get_content_type() == "application/ms-tnef":
            return part.get_payload(decode=True)
    raise SystemExit(path + ": no application/ms-tnef part")


def extract(data, rows, sample):
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "in.tnef")
        out = os.path.join(tmp, "out")
        os.mkdir(out)
        with open(src, "wb") as f:
            f.write(data)
        subprocess.run(["tnef", "-K", "--number-backups", "-C", out, "-f", src], check=True,
                       stderr=subprocess.DEVNULL)
        for name in sorted(os.listdir(out)):
            with open(os.path.join(out, name), "rb") as f:
                body = f.read()
            if body[16:20] == SIGNATURE:
                extract(body[16:], rows, sample)
                continue
            base = name
            # --number-backups names a second file of the same name "name.1".
            head, dot, tail = name.rpartition(".")
            if dot and tail.isdigit():
                base = head
            rows.append((sample, base, hashlib.sha256(body).hexdigest()))


def main():
    rows = []
    with open(os.path.join(HERE, "clam.tnef"), "rb") as f:
        extract(f.read(), rows, "clam.tnef")
    refmail = os.path.join(HERE, "..", "..", "..", "..", "shared", "refdata", "mail")
    extract(winmail(os.path.join(refmail, "mimekit", "tnef", "rich-text.eml")), rows,
            "rich-text.eml")
    with open(os.path.join(HERE, "tnef_sha256.txt"), "w") as f:
        for r in sorted(rows):
            f.write("\t".join(r) + "\n")


if __name__ == "__main__":
    main()
