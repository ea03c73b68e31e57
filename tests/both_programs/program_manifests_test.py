#!/usr/bin/env python3
"""The application manifests of the setup stub and the uninstaller, read from the built
programs (resource RT_MANIFEST 1) with Python's pefile.

Both declare system DPI awareness, <dpiAware>true</dpiAware> in the 2005 WindowsSettings
namespace, inside <application><windowsSettings> of the asm.v3 namespace, and nothing
per-monitor. Both stay loadable on Windows XP: its loader refuses a manifest with an element
of the asm.v1 namespace that it does not know, and skips elements of other namespaces.

Usage: program_manifests_test.py BIN_DIR
"""
import os
import sys
import xml.etree.ElementTree as ElementTree

try:
    import pefile
except ImportError:
    # pefile is a Debian package (python3-pefile): the system's Python has it where another
    # Python first on the PATH may not.
    if sys.executable != "/usr/bin/python3" and os.path.exists("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    sys.exit("Python's pefile is missing (Debian package python3-pefile)")

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
SETTINGS_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
# The asm.v1 elements of Windows XP's manifest schema.
XP_ASM_V1_ELEMENTS = {
    "assembly", "assemblyIdentity", "noInherit", "noInheritable", "description", "dependency",
    "dependentAssembly", "bindingRedirect", "file", "comClass", "progid", "typelib",
    "comInterfaceProxyStub", "comInterfaceExternalProxyStub", "windowClass", "clrClass",
    "clrSurrogate",
}
RT_MANIFEST = 24


def manifest_text(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return None
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != RT_MANIFEST:
            continue
        for name in kind.directory.entries:
            if name.id != 1:
                continue
            for language in name.directory.entries:
                data = language.data.struct
                return pe.get_data(data.OffsetToData, data.Size)
    return None


def problems(path):
    try:
        text = manifest_text(path)
    except (OSError, pefile.PEFormatError) as error:
        return ["cannot read the program: %s" % error]
    if text is None:
        return ["no manifest (RT_MANIFEST 1)"]
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        return ["the manifest is not well-formed XML: %s" % error]
    found = []
    if root.tag != "{%s}assembly" % ASM_V1 or root.get("manifestVersion") != "1.0":
        found.append("the root is %s, not an asm.v1 assembly of manifest version 1.0" % root.tag)
    for element in root.iter():
        namespace, _, name = element.tag[1:].partition("}")
        if namespace == ASM_V1 and name not in XP_ASM_V1_ELEMENTS:
            found.append("<%s> is in the asm.v1 namespace, which Windows XP refuses" % name)
        if name in ("dpiAwareness", "gdiScaling"):
            found.append("<%s> asks for more than system awareness" % name)
    path_to_setting = "{%s}application/{%s}windowsSettings/{%s}dpiAware" % (
        ASM_V3, ASM_V3, SETTINGS_2005)
    declarations = root.findall(path_to_setting)
    every_dpi_aware = [e for e in root.iter() if e.tag.endswith("}dpiAware")]
    if len(declarations) != 1 or len(every_dpi_aware) != 1:
        found.append("expected one dpiAware at assembly/application/windowsSettings in the "
                     "asm.v3 and 2005 WindowsSettings namespaces, found %d there and %d in all"
                     % (len(declarations), len(every_dpi_aware)))
    elif (declarations[0].text or "").strip() != "true":
        found.append("dpiAware is %r, not 'true' (system awareness)" % declarations[0].text)
    return found


def main():
    bin_dir = sys.argv[1]
    failed = False
    for program in ("setup-stub.exe", "uninstall.exe"):
        found = problems("%s/%s" % (bin_dir, program))
        for problem in found:
            print("FAIL %s: %s" % (program, problem))
        if not found:
            print("ok %s: system DPI aware, loadable on Windows XP" % program)
        failed = failed or bool(found)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
