"""The peer reader: mutagen reads the tags of every file named on the command line."""
import sys

import mutagen


def main(paths):
    failed = values = 0
    for path in paths:
        try:
            tags = mutagen.File(path)
        except mutagen.MutagenError:
            tags = None
        if tags is None or tags.tags is None:
            failed += 1
            continue
        values += len(tags.tags)
    print(f"files {len(paths)} failed {failed} values {values}")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
