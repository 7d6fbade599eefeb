"""Pages served by the file server use the whole template language:
directives (include, source, report, stats, random, the fwk list) and
script blocks with their built-ins, the data object and error reports."""

import unittest

from fwktest import ServerTestCase

DATA = ("NAME\tCITY\n"
        "\"Ann\"\t\"Oslo\"\t\r\n"
        "#\"Bob\"\t\"Oslo\"\t\r\n"
        "\"Cid\"\t\"Rome\"\t\r\n"
        "\"Dee\"\t\"Oslo\"\t\r\n")

DIRECTIVES = ("<%include parts/head.html %>\n"
              "<%source raw.txt %>\n"
              "<%report data.asc CITY eq $town %>[{#}:{NAME}]</report>\n"
              "<%report data.asc NAME eq 'Nobody' %>never</report>after\n"
              "<%stats st.ini %>c={Q1} s={Q1.SUM}</report>\n"
              "<%fwk source raw.txt %>\n"
              "<%fwk bogus %>\n"
              "<%include missing.html %>\n")

SCRIPT = ("<% x = 5\n"
          "y = x * 2 + 1\n"
          "s = 'a' + x + 'b'\n"
          "# a comment\n"
          "// another\n"
          "/* a block\n comment */\n"
          "if (n > 3) { print('big') } elsif (n > 1) { print('mid') } else { print('small') }\n"
          "print(' ', y, ' ', s, ' ', toFixed('3.14159', 2), ' ', eval('2*3'))\n"
          "h = hasRecord('data.asc', \"NAME eq 'Dee'\")\n"
          "g = hasRecord('data.asc', \"NAME eq 'Bob'\")\n"
          "r = runReport('raw.txt')\n"
          "print(' ', h, g, '[', r, ']')\n"
          "%>|<%= y %>|<!--$ s -->|")

FILES = {
    "directives.html": DIRECTIVES,
    "parts/head.html": "<h1>Head <%= town %></h1>",
    "raw.txt": "raw <%= 1 %>",
    "data.asc": DATA,
    "st.ini": "[COUNT]\nQ1=12\n[SUM]\nQ1=34\n",
    "random.html": "<%random it en %>A<it>B<it>C<it><en>|",
    "script.html": SCRIPT,
    "rows.html": "<%report data.asc %><% k = 'NAME'\nprint(data[k], ';') %></report>",
    "exit.html": "<% { if (1) { print('a')\nexit\nprint('b') } } %>",
    "error.html": "<% x = 1\nbad 7 %>",
    "ends.html": "<% print('a')\nexit %>|<% x = 5%>|<% s = 'b' + x%>|<%= s %>",
    "p.html": "<% a = 5 %>[<%= a %>]<%if a == 5%>yes<%else%>no<%end%>",
}


class TemplatePagesTest(ServerTestCase):
    """Scripts keep their variables in the request's parameter list; a page
    asked for without parameters gets a list of free slots of its own."""

    FILES = FILES

    def body(self, path):
        status, _, body = self.server.curl(path)
        self.assertEqual(status, 200)
        return body.decode()

    def test_directives(self):
        def after(tag):
            return DIRECTIVES.index(tag) + len(tag)
        self.assertEqual(self.body("/directives.html?town=Oslo"),
                         "<h1>Head Oslo</h1>\n"
                         "raw <%= 1 %>\n"
                         "[1:Ann][2:Dee]\n"
                         "after\n"
                         "c=12 s=34\n"
                         "raw <%= 1 %>\n"
                         "<HR>Error in (bogus)[{}]: Unknown command<HR>\n"
                         "<HR>Error in (missing.html)[{}]: cannot open file<HR>\n".format(
                             after("<%fwk bogus "), after("<%include missing.html %>")))

    def test_random_writes_every_item_once(self):
        for _ in range(5):
            body = self.body("/random.html?x=1")
            self.assertTrue(body.endswith("|"), body)
            self.assertEqual(sorted(body[:-1]), ["A", "B", "C"])

    def test_script_blocks_and_builtins(self):
        self.assertEqual(self.body("/script.html?n=5"), "big 11 a5b 3.14 6 10[]|11|a5b|")
        self.assertTrue(self.body("/script.html?n=2").startswith("mid "))
        self.assertTrue(self.body("/script.html?n=0").startswith("small "))

    def test_script_reads_the_report_row_as_data(self):
        self.assertEqual(self.body("/rows.html?x=1"), "Ann;Cid;Dee;")

    def test_exit_leaves_the_rest_of_the_block_as_text(self):
        self.assertTrue(self.body("/exit.html?x=1").startswith("aprint('b')"))

    def test_scripts_end_at_their_tag_end_with_or_without_a_space(self):
        self.assertEqual(self.body("/ends.html?x=1"), "a|||b5")

    def test_pages_without_parameters_keep_script_variables(self):
        self.assertEqual(self.body("/script.html"), "small 11 a5b 3.14 6 10[]|11|a5b|")
        self.assertEqual(self.body("/exit.html"), self.body("/exit.html?x=1"))

    def test_conditions_see_script_variables_with_or_without_parameters(self):
        self.assertEqual(self.body("/p.html"), "[5]yes")
        self.assertEqual(self.body("/p.html?x=1"), "[5]yes")

    def test_script_errors_are_reported_in_brackets(self):
        self.assertTrue(self.body("/error.html?x=1").startswith(
            "[Script error 46: Unable to process this command:bad 7"))


if __name__ == "__main__":
    unittest.main()
