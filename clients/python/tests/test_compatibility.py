"""The package promises Python 3.9: its sources must parse as 3.9."""
import ast
import pathlib
import unittest

import computer_use_helper


class CompatibilityTest(unittest.TestCase):
    def test_every_module_parses_as_python_3_9(self):
        package = pathlib.Path(computer_use_helper.__file__).parent
        modules = sorted(package.glob("*.py"))
        self.assertGreater(len(modules), 3)
        for module in modules:
            with self.subTest(module.name):
                ast.parse(module.read_text(encoding="utf-8"), str(module),
                          feature_version=(3, 9))


if __name__ == "__main__":
    unittest.main()
