#!/usr/bin/env python3
"""Architecture-specific code stays behind an architecture check.

Morvane builds on every Debian architecture: an x86 intrinsic header, an x86-only builtin, or a
`target`/`target_clones` attribute compiles only where its architecture does, so each must sit inside
a preprocessor branch that holds only for that architecture (`#if defined(__x86_64__)` and the like).
The `#else` of such a check is the other architectures' branch and guards nothing.

  arch_code.py check ROOT...   reports each unguarded use as FILE:LINE and fails when there is one
  arch_code.py list ROOT...    prints the files that hold architecture-specific code (guarded or
                               not), which CI compiles for arm64 on their own
"""

import pathlib
import re
import sys

X86 = r"__x86_64__|__amd64__|__i386__|__SSE2__|__AVX__|__AVX2__|__AVX512F__"
ARM = r"__aarch64__|__arm__|__ARM_NEON|__ARM_NEON__|__ARM_FEATURE_SVE"
ANY = X86 + "|" + ARM

# What needs which guard: the check names the architectures whose macros may guard it.
USES = [
    (re.compile(r'#\s*include\s*[<"](?:[a-z0-9]*intrin|cpuid)\.h[>"]'), "an x86 intrinsic header", X86),
    (re.compile(r'#\s*include\s*[<"]arm_(?:neon|sve|acle)\.h[>"]'), "an Arm intrinsic header", ARM),
    (re.compile(r"\b__builtin_cpu_(?:supports|is|init)\b"), "an x86-only builtin", X86),
    (re.compile(r'\b(?:gnu::)?(?:__)?target(?:_clones)?(?:__)?\s*\(\s*"'), "a target attribute", ANY),
]
# What else marks a file as holding code for one architecture or vector unit.
MARKERS = re.compile(r"\b(?:" + ANY + r")\b|vector_size|#\s*pragma\s+omp\s+simd")

DIRECTIVE = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif|else|endif)\b(.*)$")


def holds_only_for(condition, macros):
    """Whether a condition can only hold where one of the macros is defined: it names one, not negated."""
    for found in re.finditer(r"(!?)\s*(?:defined\s*\(?\s*)?\b(" + macros + r")\b", condition):
        if not found.group(1):
            return True
    return False


def strip_comments(text):
    """The text with comments blanked, keeping lines where they were."""
    text = re.sub(r"/\*.*?\*/", lambda m: re.sub(r"[^\n]", " ", m.group(0)), text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def unguarded_uses(path):
    lines = strip_comments(path.read_text(encoding="utf-8", errors="replace")).splitlines()
    # One entry per open conditional: the condition of the branch we are in ("" for #else, for a
    # negated #ifndef, and once a branch is left for another).
    branches = []
    for number, line in enumerate(lines, 1):
        directive = DIRECTIVE.match(line)
        if directive:
            kind, rest = directive.groups()
            if kind == "ifdef":
                branches.append(rest.strip())
            elif kind == "ifndef":
                branches.append("")
            elif kind == "if":
                branches.append(rest)
            elif kind == "elif" and branches:
                branches[-1] = rest
            elif kind == "else" and branches:
                branches[-1] = ""
            elif kind == "endif" and branches:
                branches.pop()
        for pattern, what, macros in USES:
            if pattern.search(line) and not any(holds_only_for(b, macros) for b in branches):
                yield number, what


def sources(roots):
    for root in roots:
        for path in sorted(pathlib.Path(root).rglob("*")):
            if path.suffix in (".cpp", ".h", ".hpp", ".cc") and path.is_file():
                yield path


def main(argv):
    if len(argv) < 3 or argv[1] not in ("check", "list"):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    roots = argv[2:]
    if argv[1] == "list":
        for path in sources(roots):
            text = strip_comments(path.read_text(encoding="utf-8", errors="replace"))
            if MARKERS.search(text) or any(pattern.search(text) for pattern, _, _ in USES):
                print(path)
        return 0
    failures = 0
    for path in sources(roots):
        for number, what in unguarded_uses(path):
            print(f"{path}:{number}: {what} outside a check for its architecture "
                  "(#if defined(__x86_64__) ... with a portable path beside it)")
            failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
