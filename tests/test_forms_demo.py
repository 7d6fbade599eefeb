"""End-to-end: the demo survey shipped with the program, walked as a
respondent would on a copy of the demo server root."""

import os
import re
import unittest

from fwktest import demo_server
from test_forms_nav import Browser


def heading(b):
    found = re.search(r"<h2>([^<]*)</h2>", b.text)
    return found.group(1) if found else b.text[:300]


class DemoSurveyTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.server = demo_server()

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def test_home_page_links_the_survey(self):
        _, _, body = self.server.curl("/index.html")
        self.assertIn(b'href="fwk?database=demo"', body)
        self.assertIn(b'href="fwk?database=contact"', body)
        _, _, body = self.server.curl("/fwk?database=demo")
        self.assertIn(b"Start Survey", body)
        self.assertIn(b'NAME="NAME"', body)

    def test_first_visit_skips_the_returning_visitors_page(self):
        b = Browser(self.server)
        b.post([("DATABASE", "demo"), ("_ACTION", "START")])
        self.assertEqual(heading(b), "1. About you")
        b.submit("NEXT", NAME="Ann")
        self.assertIn("Please choose a PIN", b.text)
        b.submit("NEXT", PIN="1234")
        self.assertEqual(heading(b), "2. Your visits")
        b.submit("NEXT", Q1="web", VISITS="many")
        self.assertIn("as a number", b.text)
        b.submit("NEXT", VISITS="1")
        self.assertEqual(heading(b), "4. Overall")
        b.submit("NEXT")
        self.assertIn("Please choose a rating", b.text)
        b.submit("NEXT", RATING="5")
        self.assertIn("Thank you for your answers!", b.text)

    def test_returning_visitor_gets_a_page_per_reason_and_resumes(self):
        b = Browser(self.server)
        b.post([("DATABASE", "demo"), ("_ACTION", "START")])
        b.submit("NEXT", NAME="Bob", PIN="99")
        b.submit("NEXT", Q1="friend", VISITS="4")
        self.assertEqual(heading(b), "3. Coming back")
        b.submit("NEXT")
        self.assertIn("tick at least one reason", b.text)
        b.submit("NEXT", R_STAFF="1", R_PRICES="1")
        self.assertEqual(heading(b), "3a. Our staff")
        b.submit("NEXT", STAFF="Friendly")
        self.assertEqual(heading(b), "3b. Our prices")
        b.submit("BACK")
        self.assertEqual(heading(b), "3a. Our staff")
        self.assertIn(">friendly</textarea>", b.text.lower())
        b.submit("NEXT")
        self.assertEqual(heading(b), "3b. Our prices")
        b.submit("NEXT", PRICES="Lunch")
        self.assertEqual(heading(b), "4. Overall")

        # Logging in again resumes at the page last left, answers kept.
        again = Browser(self.server)
        again.post([("DATABASE", "demo"), ("_ACTION", "START"), ("NAME", "Bob"), ("PIN", "99")])
        self.assertEqual(heading(again), "3b. Our prices")
        self.assertIn(">lunch</textarea>", again.text.lower())
        self.assertEqual(again.form.value("STAFF"), "Friendly")
        again.submit("NEXT")
        self.assertEqual(heading(again), "4. Overall")
        again.submit("NEXT", RATING="4")
        self.assertIn("Thank you", again.text)
        with open(os.path.join(self.server.root, "demo.asc"), encoding="utf-8") as f:
            live = [line for line in f.read().splitlines()[1:]
                    if line.startswith('"Bob"')]
        self.assertEqual(len(live), 1)
        self.assertIn('"Lunch"', live[0])


if __name__ == "__main__":
    unittest.main()
