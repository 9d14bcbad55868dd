"""cmake/po_to_rc.py as translators' files reach it: what a .po file can hold that must not
crash the program or lose texts silently.

usage: python3 -m unittest tests/tools/po_to_rc_test.py (from the source folder)
"""
import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(SOURCE, "cmake"))
import po_to_rc  # noqa: E402

HEADER = 'msgid ""\nmsgstr ""\n"Content-Type: text/plain; charset=UTF-8\\n"\n\n'
RATE = "%s%sThe serial port cannot run at %u baud, so the ECU cannot be read through it."


class PoFiles(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def po(self, body, language="it"):
        path = os.path.join(self.folder.name, language + ".po")
        with open(path, "w", encoding="utf-8") as f:
            f.write(HEADER + body)
        with open(os.path.join(self.folder.name, "LINGUAS"), "w", encoding="utf-8") as f:
            f.write(language + "\n")
        return path

    def test_a_translation_whose_conversions_differ_falls_back_to_english(self):
        # Without "#, c-format" msgfmt --check lets these by; the program fills them in.
        cases = {
            "a %u become %s": "%s%sLa porta non regge %s baud.",
            "two swapped": "%u baud: %s%s la porta non li regge.",
            "one left out": "%s%sLa porta non regge quella velocità.",
            "one more": "%s%sLa porta %s non regge %u baud.",
            "a stray %": "%s%sLa porta non regge %u baud al 100 %.",
        }
        for name, translation in cases.items():
            with self.subTest(name):
                path = self.po('msgid "%s"\nmsgstr "%s"\n\nmsgid "Error"\nmsgstr "Errore"\n'
                               % (RATE, translation))
                warnings = []
                catalogue = po_to_rc.read_po(path, warn=warnings.append)
                self.assertNotIn(RATE, catalogue)
                self.assertEqual(catalogue["Error"], "Errore", "the others are kept")
                self.assertEqual(len(warnings), 1)
                self.assertIn(path + ":5:", warnings[0])
                self.assertIn("the English text is used", warnings[0])
                self.assertEqual(len(po_to_rc.check(self.folder.name)), 1, "lint refuses it")

    def test_conversions_of_the_same_types_in_the_same_order_are_taken(self):
        path = self.po('#, c-format\nmsgid "%ld h %02ld min"\nmsgstr "%ld sa %02ld dk"\n\n'
                       'msgid "100%% sure: %s"\nmsgstr "%s: sicuro al 100%%"\n\n'
                       'msgid "%"\nmsgstr "%"\n')
        self.assertEqual(po_to_rc.read_po(path, warn=self.fail),
                         {"%ld h %02ld min": "%ld sa %02ld dk", "100%% sure: %s": "%s: sicuro al 100%%",
                          "%": "%"})
        self.assertEqual(po_to_rc.check(self.folder.name), [])

    def test_a_fuzzy_flag_with_no_blank_line_before_it_drops_only_its_own_entry(self):
        path = self.po('msgid "Error"\nmsgstr "Errore"\n#, fuzzy\nmsgid "Air"\nmsgstr "Aria"\n'
                       'msgid "Water"\nmsgstr "Acqua"\n\nmsgid "Volts"\nmsgstr "Volt"\n')
        self.assertEqual(po_to_rc.read_po(path), {"Error": "Errore", "Water": "Acqua", "Volts": "Volt"})

    def test_what_cannot_be_read_is_refused_with_its_file_and_line(self):
        cases = {
            'msgid "Error"\nmsgstr "Errore"\nmsgstr "Sbaglio"\n': 7,
            'msgid "Error"\nErrore\n': 6,
            'msgid "Error"\nmsgstr "Errore\n': 6,
            'msgid "Error"\nmsgid "Air"\nmsgstr "Aria"\n': 6,
            '"Errore"\n': 5,
            'msgid "Error"\nmsgstr[0] "Errore"\n': 6,
            'msgid "Error"\nmsgstr "Errore"\n\nmsgid "Error"\nmsgstr "Sbaglio"\n': 8,
        }
        for body, line in cases.items():
            with self.subTest(body):
                path = self.po(body)
                with self.assertRaises(po_to_rc.PoError) as raised:
                    po_to_rc.po_entries(path)
                self.assertTrue(str(raised.exception).startswith("%s:%d: " % (path, line)),
                                str(raised.exception))
                self.assertEqual(len(po_to_rc.check(self.folder.name)), 1)

    def test_the_build_stops_on_a_file_it_cannot_read(self):
        self.po('msgid "Error"\nmsgstr "Errore"\nnonsense\n')
        with self.assertRaises(SystemExit) as raised:
            po_to_rc.write_rc(os.path.join(self.folder.name, "out.rc"), self.folder.name,
                              [os.path.join(SOURCE, "app", "texts.rc")])
        self.assertIn("it.po:7: not a line of a .po file", str(raised.exception))
        self.assertFalse(os.path.exists(os.path.join(self.folder.name, "out.rc")))

    def test_lint_refuses_a_letter_the_languages_code_page_lacks(self):
        self.po('msgid "Water"\nmsgstr "Woda\u015d"\n', language="pl")  # ŝ: not in 1250
        problems = po_to_rc.check(self.folder.name)
        self.assertEqual(len(problems), 1)
        self.assertIn("code page 1250", problems[0])
        self.po('msgid "Water"\nmsgstr "Su \u0131s\u0131s\u0131"\n', language="tr")  # ı: 1254 has it
        self.assertEqual(po_to_rc.check(self.folder.name), [])

    def test_a_new_language_needs_only_its_po_file_and_its_word_in_linguas(self):
        # Dutch and Romanian: numbered and checked from the table, no code of their own.
        for language, number, page, letter in (("nl", 0x13, "1252", "\u0131"),
                                               ("ro", 0x18, "1250", "\u00e6")):
            with self.subTest(language):
                self.po('msgid "Error"\nmsgstr "Fout"\n', language=language)
                out = os.path.join(self.folder.name, "out.rc")
                po_to_rc.write_rc(out, self.folder.name, [os.path.join(SOURCE, "app", "texts.rc")])
                with open(out, encoding="utf-8") as f:
                    self.assertTrue("language 0x%02x, 0x00" % number in f.read().lower())
                self.po('msgid "Error"\nmsgstr "Fout%s"\n' % letter, language=language)
                problems = po_to_rc.check(self.folder.name)
                self.assertEqual(len(problems), 1)
                self.assertIn("code page " + page, problems[0])
        self.assertEqual(po_to_rc.windows_language("pt_BR"), (0x16, "cp1252"))
        self.assertEqual(po_to_rc.windows_language("sr@latin"), (0x1a, "cp1250"))
        self.assertEqual(po_to_rc.windows_language("hi"), (0x39, None))
        # A word Windows does not number stops the build, saying where the numbers are.
        self.po('msgid "Error"\nmsgstr "Eraro"\n', language="eo")
        with self.assertRaises(SystemExit) as raised:
            po_to_rc.write_rc(os.path.join(self.folder.name, "out.rc"), self.folder.name,
                              [os.path.join(SOURCE, "app", "texts.rc")])
        self.assertIn("eo of po/LINGUAS is not a language Windows numbers", str(raised.exception))
        self.assertIn("windows-languages.txt", str(raised.exception))
        # Two words Windows numbers alike: one block would hide the other.
        self.po('msgid "Error"\nmsgstr "Fout"\n', language="nb")
        self.po('msgid "Error"\nmsgstr "Feil"\n', language="nn")
        with open(os.path.join(self.folder.name, "LINGUAS"), "w", encoding="utf-8") as f:
            f.write("nb nn\n")
        with self.assertRaises(SystemExit) as raised:
            po_to_rc.write_rc(os.path.join(self.folder.name, "out.rc"), self.folder.name,
                              [os.path.join(SOURCE, "app", "texts.rc")])
        self.assertIn("nb and nn of po/LINGUAS are one language to Windows", str(raised.exception))

    def test_the_projects_translations_pass(self):
        self.assertEqual(po_to_rc.check(os.path.join(SOURCE, "po")), [])


if __name__ == "__main__":
    unittest.main()
