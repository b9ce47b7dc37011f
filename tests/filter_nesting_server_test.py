"""The deepest filter quelby sends is one the real servers still answer."""

import unittest

from search_testlib import ServerTestCase


def nested_not(levels):
    """levels - 1 negations around (cn=x): an odd count matches entries without cn=x."""
    return "(!" * (levels - 1) + "(cn=x)" + ")" * (levels - 1)


class FilterNesting(ServerTestCase):
    def test_deepest_allowed_filter_is_answered(self):
        deepest = nested_not(500)
        r = self.dc_run("-b", self.base, "-s", "base", "-f", deepest, "dn")
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.count(r.out), 1)
        r = self.slapd_run("-b", self.people, "-s", "base", "-f", deepest, "dn")
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.count(r.out), 1)

    def test_one_level_deeper_is_refused_before_the_server(self):
        r = self.dc_run("-b", self.base, "-s", "base", "-f", nested_not(501), "dn")
        self.assertEqual(r.code, 0x57, r)
        self.assertIn("at most 500 levels are allowed", r.out)
        self.assertNotIn("Objects returned", r.out)


if __name__ == "__main__":
    unittest.main()
