"""The sources of the macOS bundles as the build compiles them, and how the checks of them report.

Each bundle's principal class comes from platform/macos/SaverView.mm.in, made for the bundle of
each DIR/Info.plist.in: DUSKMERE_PRINCIPAL is its NSPrincipalClass, DUSKMERE_SCENE_DIR is DIR (the
view's folder in src/), as platform/macos/CMakeLists.txt configures it.
"""
import pathlib
import plistlib

TEMPLATE = "SaverView.mm.in"


def principal_views(root):
    """{PRINCIPAL.mm: text} for each bundle whose Info.plist template parses and names a class."""
    template = (root / TEMPLATE).read_text()
    views = {}
    for plist in sorted(root.glob("*/Info.plist.in")):
        try:
            principal = plistlib.loads(plist.read_bytes()).get("NSPrincipalClass", "")
        except Exception:  # the bundle check reports it
            continue
        if principal:
            views[f"{principal}.mm"] = (template.replace("@DUSKMERE_PRINCIPAL@", principal)
                                        .replace("@DUSKMERE_SCENE_DIR@", plist.parent.name))
    return views


def sources(root):
    """{file name: text} of every Objective-C++ source and header of the bundles."""
    found = {p.name: p.read_text() for p in sorted(list(root.glob("*.mm")) + list(root.glob("*.h")))}
    found.update(principal_views(root))
    return found



def report(faults, summary):
    """Prints each fault and then `summary`; the exit status of a check."""
    for fault in faults:
        print(fault)
    print(summary)
    return 1 if faults else 0
