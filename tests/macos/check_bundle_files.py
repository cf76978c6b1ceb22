#!/usr/bin/env python3
"""Checks the files of the macOS saver bundles that no compiler looks at.

Each Info.plist template must parse, describe a loadable bundle whose principal class is
implemented in platform/macos, take its versions and minimum system from the build, and carry both
settings thumbnails at their sizes. Since the host process loads every bundle, the principal
classes must be the only Objective-C classes, and their names and bundle identifiers must differ.
The build must set the deployment target before project(), and sign each bundle last.

usage: check_bundle_files.py PLATFORM_MACOS_DIR
"""
import pathlib
import plistlib
import re
import sys

from saver_views import report, sources as bundle_sources

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))
from pngread import png_size  # noqa: E402

THUMBNAILS = {"thumbnail.png": (90, 58), "thumbnail@2x.png": (180, 116)}
OBJC_NAME = re.compile(r"^\s*@(?:interface|implementation|protocol)\s+(\w+)", re.MULTILINE)
# Values the build fills in: the systems the bundle loads on must be those it was compiled for.
FROM_BUILD = {
    "LSMinimumSystemVersion": "${CMAKE_OSX_DEPLOYMENT_TARGET}",
    "CFBundleShortVersionString": "${MACOSX_BUNDLE_SHORT_VERSION_STRING}",
    "CFBundleVersion": "${MACOSX_BUNDLE_BUNDLE_VERSION}",
}


def build_faults(root):
    """The deployment target before the first project(); codesign the last step after linking."""
    faults = []
    top = (root.parent.parent / "CMakeLists.txt").read_text()
    target = re.search(r"^\s*set\(CMAKE_OSX_DEPLOYMENT_TARGET\b[^)]*\bCACHE\b", top, re.MULTILINE)
    project = re.search(r"^\s*project\(", top, re.MULTILINE)
    if not target or not project or target.start() > project.start():
        faults.append("CMakeLists.txt: CMAKE_OSX_DEPLOYMENT_TARGET is not a cache variable set before project()")
    build = (root / "CMakeLists.txt").read_text()
    post = re.search(r"add_custom_command\(TARGET \$\{target\} POST_BUILD(.*?)\n\s*VERBATIM\)", build, re.DOTALL)
    commands = re.findall(r"COMMAND ([^\n]*)", post.group(1)) if post else []
    if not commands or "codesign" not in commands[-1]:
        faults.append("platform/macos/CMakeLists.txt: codesign is not the last POST_BUILD step")
    elif not any("Info.plist" in c for c in commands) or not any("thumbnails" in c for c in commands):
        faults.append("platform/macos/CMakeLists.txt: the plist and thumbnails are not copied before signing")
    return faults


def main():
    root = pathlib.Path(sys.argv[1])
    faults = []
    principals = {}
    identifiers = {}

    templates = sorted(root.glob("*/Info.plist.in"))
    sources = bundle_sources(root)
    if not templates:
        faults.append(f"no */Info.plist.in under {root}")
    for template in templates:
        where = template.relative_to(root)
        try:
            info = plistlib.loads(template.read_bytes())
        except Exception as error:  # any parse failure is the finding
            faults.append(f"{where}: does not parse: {error}")
            continue
        for key in ("CFBundleExecutable", "CFBundleIdentifier", "CFBundleName", "CFBundleVersion",
                    "CFBundleShortVersionString", "NSPrincipalClass"):
            if not info.get(key):
                faults.append(f"{where}: {key} missing")
        for key, value in FROM_BUILD.items():
            if info.get(key) != value:
                faults.append(f"{where}: {key} is {info.get(key)!r}, not {value!r}")
        if info.get("CFBundlePackageType") != "BNDL":
            faults.append(f"{where}: CFBundlePackageType is {info.get('CFBundlePackageType')!r}, not 'BNDL'")
        principal = info.get("NSPrincipalClass", "")
        source = f"{principal}.mm"
        if f"@implementation {principal}" not in sources.get(source, ""):
            faults.append(f"{where}: principal class {principal!r} is not implemented in {source}")
        if principal in principals:
            faults.append(f"{where}: principal class {principal!r} also in {principals[principal]}")
        principals[principal] = where
        identifier = info.get("CFBundleIdentifier")
        if identifier in identifiers:
            faults.append(f"{where}: bundle identifier {identifier!r} also in {identifiers[identifier]}")
        identifiers[identifier] = where
        for name, size in THUMBNAILS.items():
            found = png_size(template.parent / name) if (template.parent / name).is_file() else None
            if found != size:
                faults.append(f"{where.parent / name}: want a {size[0]}x{size[1]} PNG, found "
                              f"{'none' if found is None else '%dx%d' % found}; run platform/macos/make-thumbnails.sh")

    for source, text in sorted(sources.items()):
        for name in sorted(set(OBJC_NAME.findall(text))):
            if name not in principals:
                faults.append(f"{source}: Objective-C name {name!r} is not a principal class; "
                              "names are shared by every bundle in the host process")

    faults += build_faults(root)
    return report(faults, f"{len(templates)} bundle(s), {len(faults)} fault(s)")


if __name__ == "__main__":
    sys.exit(main())
