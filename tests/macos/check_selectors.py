#!/usr/bin/env python3
"""Checks that every @selector(...) in the macOS sources names a method its receiver has.

A misspelt selector compiles, and fails only inside the host with "unrecognized selector". The
sources of one bundle are its principal class's PRINCIPAL.mm (made from SaverView.mm.in) and the
shared .mm and .h files (the
files without an @implementation); every selector they name must be a method that the bundle's
principal class implements, or one that its superclasses declare in the stand-in headers.

usage: check_selectors.py PLATFORM_MACOS_DIR STAND_IN_DIR [--typo]
With --typo, checks that a misspelling slipped into the shared sources is reported.
"""
import pathlib
import re
import sys

from saver_views import report, sources as bundle_sources

TOKENS = re.compile(r'"(?:\\.|[^"\\\n])*"|//[^\n]*|/\*.*?\*/', re.DOTALL)
SELECTOR = re.compile(r"@selector\s*\(([^)]*)\)")
IMPLEMENTATION = re.compile(r"@implementation\s+(\w+)(.*?)@end", re.DOTALL)
INTERFACE = re.compile(r"@interface\s+(\w+)\s*(?::\s*(\w+))?[^\n]*\n(.*?)@end", re.DOTALL)
METHOD = re.compile(r"^\s*[-+]\s*(\([^{;]*?)[{;]", re.MULTILINE)
PROPERTY = re.compile(r"^\s*@property\s*(\(([^)]*)\))?[^;]*?(\w+)\s*;", re.MULTILINE)


def strip_comments(text):
    return TOKENS.sub(lambda m: m.group(0) if m.group(0).startswith('"') else " ", text)


def without_parentheses(text):
    out, depth = [], 0
    for c in text:
        depth += c == "("
        if depth == 0:
            out.append(c)
        depth -= c == ")" and depth > 0
    return "".join(out)


def method_selector(signature):
    """'(void)drawRect:(NSRect)dirtyRect' -> 'drawRect:', '(BOOL)isOpaque' -> 'isOpaque'."""
    rest = without_parentheses(signature)  # the return and parameter types go
    keywords = re.findall(r"(\w+)\s*:", rest)
    return "".join(k + ":" for k in keywords) if keywords else re.match(r"\s*(\w+)", rest).group(1)


def declared_methods(body):
    names = {method_selector(signature) for signature in METHOD.findall(body)}
    for _, attributes, name in PROPERTY.findall(body):
        getter = re.search(r"getter\s*=\s*(\w+)", attributes or "")
        names.add(getter.group(1) if getter else name)
        if "readonly" not in (attributes or ""):
            names.add(f"set{name[0].upper()}{name[1:]}:")
    return names


def stand_in_classes(stand_in):
    """Class name -> (superclass, methods declared), over every stand-in header."""
    classes = {}
    for header in sorted(stand_in.rglob("*.h")):
        for name, superclass, body in INTERFACE.findall(strip_comments(header.read_text())):
            old_super, methods = classes.get(name, (None, set()))
            classes[name] = (superclass or old_super, methods | declared_methods(body))
    return classes


def faults_in(sources, classes):
    """sources: file name -> text. Returns the list of faults found."""
    texts = {name: strip_comments(text) for name, text in sources.items()}
    principals = {}  # class -> (file, methods, superclass)
    for name, text in texts.items():
        for cls, body in IMPLEMENTATION.findall(text):
            interface = re.search(rf"@interface\s+{cls}\s*:\s*(\w+)", text)
            principals[cls] = (name, declared_methods(body), interface.group(1) if interface else None)
    shared = [name for name, text in texts.items() if not IMPLEMENTATION.search(text)]

    faults = []
    if not principals:
        faults.append("no @implementation found")
    for cls, (home, methods, superclass) in sorted(principals.items()):
        known = set(methods)
        while superclass:
            superclass, inherited = classes.get(superclass, (None, set()))
            known |= inherited
        for name in [home] + shared:
            for selector in SELECTOR.findall(texts[name]):
                selector = re.sub(r"\s+", "", selector)
                if selector not in known:
                    faults.append(f"{name}: @selector({selector}) is not a method of {cls}, "
                                  "which receives it in its bundle")
    return faults


def main():
    args = [a for a in sys.argv[1:] if a != "--typo"]
    root, stand_in = pathlib.Path(args[0]), pathlib.Path(args[1])
    sources = bundle_sources(root)
    classes = stand_in_classes(stand_in)

    if "--typo" in sys.argv:
        # Misspell the first selector of a shared file: the check must catch it.
        for name, text in sources.items():
            match = SELECTOR.search(strip_comments(text))
            if match and "@implementation" not in text:
                selector = match.group(1)
                sources[name] = text.replace(f"@selector({selector})", f"@selector({selector[:-1]}X{selector[-1]})", 1)
                break
        else:
            print("no selector in the shared sources to misspell")
            return 1
        faults = faults_in(sources, classes)
        print("\n".join(faults) or "the misspelt selector went unnoticed")
        return 0 if faults else 1

    faults = faults_in(sources, classes)
    selectors = sum(len(SELECTOR.findall(strip_comments(t))) for t in sources.values())
    return report(faults, f"{selectors} selector(s), {len(faults)} fault(s)")


if __name__ == "__main__":
    sys.exit(main())
