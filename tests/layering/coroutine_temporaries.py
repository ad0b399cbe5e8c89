#!/usr/bin/env python3
"""Fails when a statement that co_awaits makes a braced temporary or a capturing lambda.

g++ 12 destroys an aggregate-initialised temporary (a braced Type{...} of an aggregate, or the closure of
a lambda that captures) twice when the full-expression that made it suspends at a co_await: a double
free. A script cannot tell an aggregate from a class with constructors, so every braced temporary and
every capturing lambda in such a statement is refused; name it in the statement before.

Usage: coroutine_temporaries.py <src dir>
"""

import re
import sys
from pathlib import Path

CO_AWAIT = re.compile(r"\bco_await\b")
# A lambda that captures something: "[x", "[&", "[=", "[this" ..., then its body.
CAPTURING_LAMBDA = re.compile(r"\[[^\[\]]+\]\s*(\([^()]*\)\s*)?(mutable\s*)?(->\s*[\w:<>, ]+\s*)?\{")
# A braced temporary: a type name (or template arguments) directly followed by "{".
BRACED_TEMPORARY = re.compile(r"(\w|>)\s*\{")
# Words after which a "{" opens a block.
BLOCK_WORDS = {"else", "try", "do", "namespace", "struct", "class", "union", "enum", "const", "noexcept",
               "override", "final", "mutable"}


def without_comments_and_strings(text):
    """The text with comments, string and character literals blanked, line breaks kept."""
    pattern = re.compile(r'//[^\n]*|/\*.*?\*/|R"(\w*)\(.*?\)\1"|"(\\.|[^"\\\n])*"|\'(\\.|[^\'\\\n])*\'', re.DOTALL)
    return pattern.sub(lambda m: re.sub(r"[^\n]", " ", m.group(0)), text)


def statements(text):
    """(start, end) of each statement: split at ";" and at braces outside parentheses.

    A brace inside parentheses is a braced temporary or a lambda body and stays in its statement."""
    depth = 0
    start = 0
    for i, c in enumerate(text):
        if c in "([":
            depth += 1
        elif c in ")]":
            depth = max(0, depth - 1)
        elif depth == 0 and c in ";{}":
            yield start, i + 1
            start = i + 1
    yield start, len(text)


def opens_braced_temporary(text, start):
    """Whether the "{" just before start begins a braced temporary rather than a block."""
    before = text[:start].rstrip()
    if not before.endswith("{"):
        return False
    head = before[:-1].rstrip()
    if not head or not (head[-1].isalnum() or head[-1] in "_>"):
        return False
    word = re.search(r"(\w+)$", head)
    return not (word and word.group(1) in BLOCK_WORDS)


def report(path, text, start, statement):
    line = text.count("\n", 0, start + len(statement) - len(statement.lstrip())) + 1
    print(f"{path}:{line}: {' '.join(statement.split())}")


def main():
    src = Path(sys.argv[1])
    status = 0
    for path in sorted(src.rglob("*.cpp")) + sorted(src.rglob("*.h")):
        text = without_comments_and_strings(path.read_text())
        for start, end in statements(text):
            statement = text[start:end]
            if not CO_AWAIT.search(statement):
                continue
            if opens_braced_temporary(text, start):
                report(path, text, start, statement)
                status = 1
                continue
            # The statement's own closing "{" (an if, for or while body) is not a temporary.
            body = statement[:-1] if statement.endswith("{") else statement
            parenthesised = body[body.find("(") :] if re.match(r"\s*(if|for|while|switch)\b", body) else body
            found = CAPTURING_LAMBDA.search(parenthesised) or BRACED_TEMPORARY.search(parenthesised)
            if found:
                report(path, text, start, statement)
                status = 1
    if status:
        print("the statements above co_await beside a braced temporary or a capturing lambda: g++ 12 destroys "
              "such a temporary twice when the co_await suspends; name it in the statement before")
    return status


if __name__ == "__main__":
    sys.exit(main())
