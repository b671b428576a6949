"""The peer writer: mutagen changes the title of one file and saves it."""
import sys

import mutagen
from mutagen.id3 import TIT2


def main(path, title):
    tags = mutagen.File(path)
    if tags is None:
        return 1
    if tags.tags is None:
        tags.add_tags()
    if hasattr(tags.tags, "setall"):  # ID3, kept at version 2.3 like the file
        tags.tags.setall("TIT2", [TIT2(encoding=0, text=title)])
        tags.save(v2_version=3)
    else:  # Vorbis comments
        tags.tags["TITLE"] = [title]
        tags.save()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
