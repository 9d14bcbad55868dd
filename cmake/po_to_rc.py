#!/usr/bin/env python3
"""The program's texts in every language, as gettext catalogues and as Win32 resources.

The English resource scripts (app/menu.rc, app/texts.rc) hold the texts the window shows:
the menu's popups and items (not the Engine menu's, which are model names) and the string
table. From them this script writes the translators' template, and, with one .po file per
language of po/LINGUAS, one resource script in UTF-8 with a block of resources for each
language (the English first), which the Windows build compiles and the Linux layer reads.

With --also, the template takes in the texts of other files as xgettext finds them: the
desktop entry's name and comment, the AppStream file's summary and description, which
msgfmt --desktop and --xml translate from the same .po files.

usage: po_to_rc.py pot OUT.pot RC... [--also FILE...]
       po_to_rc.py rc OUT.rc PO_DIR RC...
"""
import subprocess
import os
import re
import sys

# The Engine menu's items are model names: they stay as they are in every language.
UNTRANSLATED_IDS = {"40002"}

# Each language of po/LINGUAS as Windows numbers it: the primary language, with the
# neutral sublanguage, so that every country's users of the language find it (Windows
# falls back from it_CH to it), Portugal's users the Brazilian Portuguese.
LANGUAGES = {
    "de": 0x07, "es": 0x0A, "fr": 0x0C, "it": 0x10, "pl": 0x15, "pt_BR": 0x16, "tr": 0x1F,
}

LITERAL = re.compile(r'"((?:[^"]|"")*)"')


def rc_decode(literal):
    """A resource script's quoted text, its "" and C escapes read."""
    out = []
    i = 0
    while i < len(literal):
        c = literal[i]
        if c == '"' and literal[i + 1:i + 2] == '"':
            out.append('"')
            i += 2
        elif c == "\\" and i + 1 < len(literal):
            n = literal[i + 1]
            out.append({"n": "\n", "t": "\t"}.get(n, n))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def rc_encode(text):
    return (text.replace("\\", "\\\\").replace('"', '""').replace("\n", "\\n")
            .replace("\t", "\\t"))


def po_encode(text):
    return (text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n")
            .replace("\t", "\\t"))


def po_decode(text):
    out = []
    i = 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            n = text[i + 1]
            out.append({"n": "\n", "t": "\t", '"': '"', "\\": "\\"}.get(n, n))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def translatables(path):
    """(line number, text, comments) of each translatable text of a resource script."""
    found = []
    comments = []
    in_strings = False
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            stripped = line.strip()
            if stripped.startswith("//"):
                comments.append(stripped[2:].strip())
                continue
            if stripped == "STRINGTABLE":
                in_strings = True
            match = LITERAL.search(line)
            take = False
            if match and in_strings and re.match(r"\s*\d+\s*,", line):
                take = True
            elif match and re.match(r"\s*(POPUP|MENUITEM)\b", line):
                item_id = line[match.end():].split(",")
                take = not (len(item_id) > 1 and item_id[1].strip() in UNTRANSLATED_IDS)
            if take:
                found.append((number, rc_decode(match.group(1)), comments))
            if stripped:
                comments = []
    return found


def write_pot(out, scripts, also=()):
    entries = {}
    order = []
    for script in scripts:
        for number, text, comments in translatables(script):
            if text not in entries:
                entries[text] = ([], [])
                order.append(text)
            entries[text][0].append("%s:%d" % (os.path.relpath(script), number))
            entries[text][1].extend(c for c in comments if c not in entries[text][1])
    with open(out, "w", encoding="utf-8") as f:
        f.write('# The texts of the Quorvel dashboard and its tools, its desktop entry and its AppStream file.\n'
                '# Made by cmake/po_to_rc.py (scripts/lint checks that it is current).\n'
                'msgid ""\nmsgstr ""\n'
                '"Project-Id-Version: Quorvel\\n"\n'
                '"MIME-Version: 1.0\\n"\n'
                '"Content-Type: text/plain; charset=UTF-8\\n"\n'
                '"Content-Transfer-Encoding: 8bit\\n"\n')
        for text in order:
            places, comments = entries[text]
            f.write("\n")
            for c in comments:
                f.write("#. %s\n" % c)
            f.write("#: %s\n" % " ".join(places))
            if re.search(r"%[0-9]*l?[sud]", text):
                f.write("#, c-format\n")
            f.write('msgid "%s"\nmsgstr ""\n' % po_encode(text))
        if also:
            others = subprocess.run(
                ["xgettext", "--from-code=UTF-8", "--omit-header", "--no-wrap", "-o", "-"]
                + [os.path.relpath(a) for a in also],
                check=True, capture_output=True, text=True).stdout
            # A text the resource scripts have already is not asked for twice.
            for entry in others.strip().split("\n\n"):
                msgid = re.search(r'^msgid "(.*)"$', entry, re.M)
                if msgid and po_decode(msgid.group(1)) in entries:
                    continue
                f.write("\n" + entry + "\n")

def read_po(path):
    """msgid -> msgstr of a .po file (fuzzy and empty translations left out)."""
    catalogue = {}
    msgid = msgstr = None
    fuzzy = False
    current = None

    def finish():
        if msgid and msgstr and not fuzzy:
            catalogue[po_decode(msgid)] = po_decode(msgstr)

    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line.startswith("#,") and "fuzzy" in line:
                fuzzy = True
            if line.startswith("msgid "):
                finish()
                msgid, msgstr, current = line[7:-1], None, "id"
            elif line.startswith("msgstr "):
                msgstr, current = line[8:-1], "str"
            elif line.startswith('"') and current == "id":
                msgid += line[1:-1]
            elif line.startswith('"') and current == "str":
                msgstr += line[1:-1]
            elif not line:
                finish()
                msgid = msgstr = None
                fuzzy = False
                current = None
    finish()
    return catalogue


def translated_copy(path, catalogue, primary):
    """The resource script with its texts translated and its language set."""
    keep = {number for number, _, _ in translatables(path)}
    out = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if line.strip().startswith("LANGUAGE"):
                line = "LANGUAGE 0x%02X, 0x00\n" % primary
            elif number in keep:
                match = LITERAL.search(line)
                text = rc_decode(match.group(1))
                line = (line[:match.start()] + '"' + rc_encode(catalogue.get(text, text)) + '"'
                        + line[match.end():])
            out.append(line)
    return "".join(out)


def write_rc(out, po_dir, scripts):
    with open(os.path.join(po_dir, "LINGUAS"), encoding="utf-8") as f:
        languages = [w for line in f if not line.startswith("#") for w in line.split()]
    parts = ["// Made by cmake/po_to_rc.py from %s and po/: English, then each language.\n"
             % ", ".join(os.path.relpath(s) for s in scripts),
             "#pragma code_page(65001)\n"]
    for script in scripts:
        with open(script, encoding="utf-8") as f:
            parts.append(f.read())
    for language in languages:
        if language not in LANGUAGES:
            sys.exit("po_to_rc.py: %s of po/LINGUAS has no Windows language id here" % language)
        catalogue = read_po(os.path.join(po_dir, language + ".po"))
        parts.append("\n// %s\n" % language)
        for script in scripts:
            parts.append(translated_copy(script, catalogue, LANGUAGES[language]))
    text = "".join(parts)
    # Written only when it changes, so that the build does not redo what depends on it.
    if os.path.exists(out):
        with open(out, encoding="utf-8") as f:
            if f.read() == text:
                return
    with open(out, "w", encoding="utf-8") as f:
        f.write(text)


def main(argv):
    if len(argv) >= 3 and argv[1] == "pot":
        args = argv[3:]
        also = args[args.index("--also") + 1:] if "--also" in args else []
        scripts = args[:args.index("--also")] if "--also" in args else args
        write_pot(argv[2], scripts, also)
    elif len(argv) >= 4 and argv[1] == "rc":
        write_rc(argv[2], argv[3], argv[4:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
