#!/usr/bin/env python3
"""Writes windows-export-utf16-identities.reg: a registry export as regedit
on Windows writes it (UTF-16LE with a byte-order mark, CR LF line ends,
hex(2) data wrapped over lines ending in a backslash), holding the
Outlook Express identities of a user and some keys of other roots.

Run from this folder: python3 make_windows_export.py
"""

GUID_MAIN = "{1D6A53E2-8E5C-4B9B-A0C1-2F2E1C4B7A01}"
GUID_WORK = "{7F3B9C10-44D2-4E61-9B8A-5C6D7E8F9012}"
GUID_NEW = "{C0FFEE00-1234-4ABC-8DEF-0123456789AB}"


def hex_value(name, type_code, data):
    """A value line as regedit writes hex data: at most 80 columns a line."""
    prefix = '"%s"=hex(%x):' % (name, type_code) if type_code != 3 else '"%s"=hex:' % name
    items = ["%02x" % b for b in data]
    lines, line = [], prefix
    for i, item in enumerate(items):
        token = item + ("," if i + 1 < len(items) else "")
        if len(line) + len(token) > 78:
            lines.append(line + "\\")
            line = "  "
        line += token
    lines.append(line)
    return lines


def expand_sz(name, text):
    return hex_value(name, 2, (text + "\0").encode("utf-16-le"))


def store_root(guid):
    return ("%UserProfile%\\Local Settings\\Application Data\\Identities\\" + guid +
            "\\Microsoft\\Outlook Express")


lines = ["Windows Registry Editor Version 5.00", ""]


def key(path, *values):
    lines.append("[" + path + "]")
    for v in values:
        if isinstance(v, list):
            lines.extend(v)
        else:
            lines.append(v)
    lines.append("")


key("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Outlook Express",
    '"InstallRoot"="C:\\\\Program Files\\\\Outlook Express"')
key("HKEY_CURRENT_USER\\Identities",
    '"Identity Ordinal"=dword:00000003',
    '"Migrated5"=dword:00000001',
    '"Last Username"="Main Identity"',
    '"Last User ID"="%s"' % GUID_MAIN,
    '"Default User ID"="%s"' % GUID_MAIN)
key("HKEY_CURRENT_USER\\Identities\\" + GUID_MAIN,
    '"Username"="Main Identity"',
    '"User ID"="%s"' % GUID_MAIN,
    '"Identity Ordinal"=dword:00000001',
    hex_value("Password", 3, bytes([0x71, 0x6b, 0x61, 0x72, 0x00, 0x00, 0x00, 0x00])),
    '"Use Password"=dword:00000000')
key("HKEY_CURRENT_USER\\Identities\\" + GUID_MAIN + "\\Software")
key("HKEY_CURRENT_USER\\Identities\\" + GUID_MAIN + "\\Software\\Microsoft")
key("HKEY_CURRENT_USER\\Identities\\" + GUID_MAIN + "\\Software\\Microsoft\\Outlook Express")
key("HKEY_CURRENT_USER\\Identities\\" + GUID_MAIN + "\\Software\\Microsoft\\Outlook Express\\5.0",
    '"Store Migrated"=dword:00000001',
    expand_sz("Store Root", store_root(GUID_MAIN)))
key("HKEY_CURRENT_USER\\Identities\\" + GUID_WORK,
    '"Username"="J\u00fcrgen Wei\u00df \u2013 Arbeit"',
    '"User ID"="%s"' % GUID_WORK,
    '"Identity Ordinal"=dword:00000002')
key("HKEY_CURRENT_USER\\Identities\\" + GUID_WORK + "\\Software\\Microsoft\\Outlook Express\\5.0",
    '"Store Root"="D:\\\\Mail\\\\J\u00fcrgen\\\\Outlook Express"')
key("HKEY_CURRENT_USER\\Identities\\" + GUID_NEW,
    '"Username"="Never Opened"',
    '"Identity Ordinal"=dword:00000003')
key("HKEY_CURRENT_USER\\Software\\Microsoft\\Outlook Express",
    '"Last Store Root"="%s"' % store_root(GUID_MAIN).replace("\\", "\\\\"))
key("HKEY_CLASSES_ROOT\\.eml", '@="Microsoft Internet Mail Message"')

text = "\r\n".join(lines) + "\r\n"
with open("windows-export-utf16-identities.reg", "wb") as f:
    f.write(b"\xff\xfe" + text.encode("utf-16-le"))

# The same export damaged the way a hand edit does it: the closing quote of
# a user name lost. The import must name that line (counted in the decoded
# text, CR LF being one line end) and merge nothing.
damaged = list(lines)
bad = damaged.index('"Username"="Never Opened"')
damaged[bad] = '"Username"="Never Opened'
text = "\r\n".join(damaged) + "\r\n"
with open("utf16-export-unclosed-quote-line-%d.reg" % (bad + 1), "wb") as f:
    f.write(b"\xff\xfe" + text.encode("utf-16-le"))
