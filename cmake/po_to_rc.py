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

A .po file that cannot be read whole is refused, naming its file and line; a translation
whose printf conversions are not the English text's is left out (the English text is
used), since the program fills it in as a format. check says all of this for lint, and
whether each language's texts can be written in the code page Windows gives its users.

catalogue writes a .po file's translations as the build takes them, each msgid and its
msgstr followed by a NUL byte, for tests that compare the program's texts with them.

usage: po_to_rc.py pot OUT.pot RC... [--also FILE...]
       po_to_rc.py rc OUT.rc PO_DIR RC...
       po_to_rc.py check PO_DIR
       po_to_rc.py catalogue OUT PO
"""
import subprocess
import os
import re
import sys

# The Engine menu's items are model names: they stay as they are in every language.
UNTRANSLATED_IDS = {"40002"}

# The languages Windows numbers, with the code page it gives their users: one table, which
# the Linux layer's build reads too.
LANGUAGE_TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir,
                              "platform", "windows-languages.txt")


def windows_language(language, table=LANGUAGE_TABLE):
    """A language of po/LINGUAS (it, pt_BR, sr@latin) as Windows numbers it: its primary
    language id, used with the neutral sublanguage so that every country's users of the
    language find it (Windows falls back from it_CH to it, Portugal's users to the Brazilian
    Portuguese), and the ANSI code page of its users (None: Unicode only). None when the
    table lacks it."""
    code = re.split(r"[_@.]", language)[0].lower()
    with open(table, encoding="utf-8") as f:
        for line in f:
            fields = line.split()
            if fields and not fields[0].startswith("#") and fields[0] == code:
                return int(fields[1], 16), (None if fields[2] == "-" else "cp" + fields[2])
    return None


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

class PoError(Exception):
    """A .po file that cannot be read: the file and line, and what is wrong there."""


C_STRING = re.compile(r'^"((?:[^"\\]|\\.)*)"$')


def po_string(path, number, text):
    match = C_STRING.match(text)
    if not match:
        raise PoError("%s:%d: not a quoted string: %s" % (path, number, text))
    return match.group(1)


def po_entries(path):
    """The entries of a .po file, in order: dicts of msgid, msgstr (decoded), flags (a set)
    and line (of the msgid). Obsolete entries (#~) are left out. Anything the reader does
    not know is refused with the file and line, rather than taken for something else."""
    entries = []
    entry = {}
    flags = set()
    key = None

    def finish():
        nonlocal entry, flags, key
        if entry:
            if "msgid" not in entry or "msgstr" not in entry:
                raise PoError("%s:%d: an entry without %s" % (
                    path, entry["line"], "msgstr" if "msgid" in entry else "msgid"))
            entry["msgid"] = po_decode(entry["msgid"])
            entry["msgstr"] = po_decode(entry["msgstr"])
            entries.append(entry)
        entry = {}
        flags = set()
        key = None

    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.strip()
            if not line:
                finish()
            elif line.startswith("#~"):
                continue
            elif line.startswith("#"):
                # A comment after a msgstr begins the next entry, blank line or not.
                if "msgstr" in entry:
                    finish()
                if line.startswith("#,"):
                    flags |= {flag.strip() for flag in line[2:].split(",") if flag.strip()}
            elif line.startswith(("msgid_plural", "msgstr[")):
                raise PoError("%s:%d: plural forms are not used by these texts" % (path, number))
            elif line.startswith("msgctxt "):
                raise PoError("%s:%d: contexts (msgctxt) are not used by these texts" % (path, number))
            elif line.startswith("msgid "):
                if "msgstr" in entry:
                    finish()
                if entry:
                    raise PoError("%s:%d: a second msgid before the msgstr" % (path, number))
                entry = {"msgid": po_string(path, number, line[6:]), "flags": flags, "line": number}
                key = "msgid"
            elif line.startswith("msgstr "):
                if "msgid" not in entry or "msgstr" in entry:
                    raise PoError("%s:%d: a msgstr without its msgid" % (path, number))
                entry["msgstr"] = po_string(path, number, line[7:])
                key = "msgstr"
            elif line.startswith('"'):
                if key is None:
                    raise PoError("%s:%d: a string that belongs to no msgid or msgstr" % (path, number))
                entry[key] += po_string(path, number, line)
            else:
                raise PoError("%s:%d: not a line of a .po file: %s" % (path, number, line))
    finish()
    seen = {}
    for e in entries:
        if e["msgid"] in seen:
            raise PoError("%s:%d: the msgid of line %d again" % (path, e["line"], seen[e["msgid"]]))
        seen[e["msgid"]] = e["line"]
    return entries


# A printf conversion: its flags and width and precision (which say nothing of the
# argument's type, except a * that takes one), its length and its type.
CONVERSION = re.compile(r"%(?:\d+\$)?[-+ #0']*(\*|\d+)?(?:\.(\*|\d*))?(hh|h|ll|l|L|z|j|t|I64|I32)?([diouxXeEfFgGaAcspn%])")


def conversions(text):
    """The arguments a printf format takes, in order: their lengths and types."""
    taken = []
    for match in CONVERSION.finditer(text):
        width, precision, length, kind = match.groups()
        if kind == "%":
            continue
        taken += ["int"] * ((width == "*") + (precision == "*"))
        taken.append((length or "") + {"i": "d"}.get(kind, kind))
    return taken


def stray_percent(text):
    """A % that begins no conversion printf knows (printf's behaviour is undefined)."""
    stripped = CONVERSION.sub("", text)
    return "%" in stripped


def read_po(path, warn=None):
    """msgid -> msgstr of a .po file's translations (fuzzy and empty ones left out). A
    translation whose printf conversions differ from the English text's in number, order
    or type, whatever its flags say, is left out too, so that the English text is shown
    instead of one that would crash the program; warn (if given) is told of each."""
    catalogue = {}
    for e in po_entries(path):
        if not e["msgid"] or not e["msgstr"] or "fuzzy" in e["flags"]:
            continue
        english, translated = conversions(e["msgid"]), conversions(e["msgstr"])
        if english != translated or (english and stray_percent(e["msgstr"])):
            if warn:
                warn("%s:%d: the translation's printf conversions (%s) are not the English "
                     "text's (%s): the English text is used" % (
                         path, e["line"], " ".join("%" + t for t in translated) or "none",
                         " ".join("%" + t for t in english) or "none"))
            continue
        catalogue[e["msgid"]] = e["msgstr"]
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


def linguas(po_dir):
    with open(os.path.join(po_dir, "LINGUAS"), encoding="utf-8") as f:
        return [w for line in f if not line.startswith("#") for w in line.split()]


def warn(message):
    print("po_to_rc.py: " + message, file=sys.stderr)


def check(po_dir):
    """Every language's .po file as lint sees it: readable, every translation's printf
    conversions the English text's, every text written in the language's code page.
    Returns the problems, one line each."""
    problems = []
    for language in linguas(po_dir):
        path = os.path.join(po_dir, language + ".po")
        try:
            read_po(path, warn=problems.append)
            entries = po_entries(path)
        except PoError as e:
            problems.append(str(e))
            continue
        known = windows_language(language)
        if known is None:
            problems.append("%s: %s is not a language Windows numbers (%s)" % (
                path, language, os.path.relpath(LANGUAGE_TABLE)))
            continue
        code_page = known[1]
        if code_page is None:
            continue  # Windows shows it only in Unicode programs: English there
        for e in entries:
            try:
                e["msgstr"].encode(code_page)
            except UnicodeEncodeError as x:
                problems.append("%s:%d: %r cannot be written in code page %s, which Windows "
                                "gives programs in this language: write it otherwise" % (
                                    path, e["line"], e["msgstr"][x.start:x.end], code_page[2:]))
    return problems


def write_rc(out, po_dir, scripts):
    languages = linguas(po_dir)
    parts = ["// Made by cmake/po_to_rc.py from %s and po/: English, then each language.\n"
             % ", ".join(os.path.relpath(s) for s in scripts),
             "#pragma code_page(65001)\n"]
    for script in scripts:
        with open(script, encoding="utf-8") as f:
            parts.append(f.read())
    numbered = {}
    for language in languages:
        known = windows_language(language)
        if known is None:
            sys.exit("po_to_rc.py: %s of po/LINGUAS is not a language Windows numbers (%s)"
                     % (language, os.path.relpath(LANGUAGE_TABLE)))
        if known[0] in numbered:
            sys.exit("po_to_rc.py: %s and %s of po/LINGUAS are one language to Windows (0x%02x):"
                     " keep one" % (numbered[known[0]], language, known[0]))
        numbered[known[0]] = language
        try:
            catalogue = read_po(os.path.join(po_dir, language + ".po"), warn=warn)
        except PoError as e:
            sys.exit("po_to_rc.py: %s; the resources were not made" % e)
        parts.append("\n// %s\n" % language)
        for script in scripts:
            parts.append(translated_copy(script, catalogue, known[0]))
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
    elif len(argv) == 4 and argv[1] == "catalogue":
        try:
            catalogue = read_po(argv[3], warn=warn)
        except PoError as e:
            sys.exit("po_to_rc.py: %s" % e)
        with open(argv[2], "wb") as f:
            for msgid, msgstr in sorted(catalogue.items()):
                f.write(msgid.encode("utf-8") + b"\0" + msgstr.encode("utf-8") + b"\0")
    elif len(argv) == 3 and argv[1] == "check":
        problems = check(argv[2])
        for problem in problems:
            print(problem)
        sys.exit(1 if problems else 0)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
