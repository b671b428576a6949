#!/usr/bin/python3
"""check_saved.py MP3 OGG WMA: what host.c saved, as mutagen reads it (Debian's interpreter, which has mutagen)."""
import sys

from mutagen import asf, id3, oggvorbis

mp3, ogg, wma = sys.argv[1:4]
tags = id3.ID3(mp3, translate=False)
got = {key: str(tags[key]) for key in ("TIT2", "TRCK", "TYER")}
got["ID3v1 artist"] = open(mp3, "rb").read()[-128:][33:63].rstrip(b"\0").decode()
got["Ogg title"] = oggvorbis.OggVorbis(ogg)["TITLE"]
got["Windows Media title"] = str(asf.ASF(wma)["Title"][0])
want = {"TIT2": "Host \u2603", "TRCK": "7/12", "TYER": "2024", "ID3v1 artist": "V1 Artist", "Ogg title": ["Host title"],
        "Windows Media title": "Host title"}
sys.exit(0 if got == want else "read back by mutagen: %r" % got)
