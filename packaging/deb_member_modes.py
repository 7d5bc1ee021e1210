"""Sets the mode of each member of the given Debian packages to 0644.

A .deb is an ar archive of three members. cpack gives each member the mode its temporary file
had, which follows the umask of whoever makes the package (0644 under 022, 0664 under 002), so
two users would make packages of different bytes from the same build. dpkg ignores the field;
only those 8 bytes of each member's header are rewritten.
"""
import sys

MAGIC = b"!<arch>\n"
HEADER = 60  # name 16, date 12, owner 6, group 6, mode 8, size 10, end mark 2
MODE_AT, SIZE_AT = 40, 48


def fix(path):
    with open(path, "r+b") as deb:
        if deb.read(len(MAGIC)) != MAGIC:
            sys.exit(f"{path} is not a Debian package (no ar archive)")
        while header := deb.read(HEADER):
            if len(header) != HEADER or header[58:] != b"`\n":
                sys.exit(f"{path} has a damaged member header")
            start = deb.tell() - HEADER
            deb.seek(start + MODE_AT)
            deb.write(b"100644".ljust(8))
            size = int(header[SIZE_AT:58])
            # Members start at even offsets.
            deb.seek(start + HEADER + size + size % 2)


for package in sys.argv[1:]:
    fix(package)
