#!/usr/bin/python3
"""make_seeds.py OUTDIR: the seeds of the fuzzing corpora, small real files from ffmpeg, oggenc and mutagen, and
tags by hand for layouts those tools never write (ID3v2.2, extended headers, unsynchronisation, footers)."""
import os
import shutil
import struct
import subprocess
import sys

from mutagen import asf, id3, oggopus, oggvorbis

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
p = lambda name: os.path.join(out, name)
TAGS = [a for kv in ["title=Seed title", "artist=Seed artist", "album=Seed album", "date=2001", "track=7", "genre=Rock",
                     "comment=Seed comment"] for a in ("-metadata", kv)]


def ffmpeg(name, *args):
    subprocess.run(["ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                    "sine=frequency=440:sample_rate=8000:duration=0.25", "-ac", "1", *args, p(name)], check=True)


def mp3(name, *args):
    ffmpeg(name, "-c:a", "libmp3lame", "-b:a", "8k", "-write_xing", "0", *args, "-f", "mp3")


def write(name, data, mode="wb"):
    with open(p(name), mode) as f:
        f.write(data)


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def frame(fid, body):  # ID3v2.2 for 3-letter ids, else ID3v2.3
    v22 = len(fid) == 3
    return fid.encode() + struct.pack(">I", len(body))[1 if v22 else 0:] + (b"" if v22 else b"\0\0") + body


def tag(version, flags, payload):
    return b"ID3" + bytes([version, 0, flags]) + syncsafe(len(payload)) + payload


mp3("plain.mp3", "-id3v2_version", "0", "-write_id3v1", "0", "-map_metadata", "-1")
mp3("v24-v1.mp3", *TAGS, "-id3v2_version", "4", "-write_id3v1", "1")
mp3("v23.mp3", *TAGS, "-id3v2_version", "3")
mp3("v1-only.mp3", *TAGS, "-id3v2_version", "0", "-write_id3v1", "1")
with open(p("plain.mp3"), "rb") as f:
    audio = f.read()

# Comments in several languages and encodings, a picture, frames the reader keeps verbatim, padding, an ID3v1 block.
write("v23-rich.mp3", audio)
tags = id3.ID3()
for f in [id3.TIT2(encoding=1, text="Seed title \u00e9\u4e2d"), id3.TPE1(encoding=0, text="Seed artist"),
          id3.TRCK(encoding=0, text="4/12"), id3.COMM(encoding=0, lang="fre", desc="x", text="commentaire"),
          id3.COMM(encoding=1, lang="eng", desc="", text="Seed comment"),
          id3.COMM(encoding=0, lang="eng", desc="iTunNORM", text=" 0000"),
          id3.APIC(encoding=0, mime="image/png", type=3, desc="", data=b"\x89PNG\r\n\x1a\n" + bytes(40)),
          id3.TXXX(encoding=3, desc="seed", text="value"), id3.USLT(encoding=1, lang="eng", desc="", text="la la")]:
    tags.add(f)
tags.save(p("v23-rich.mp3"), v2_version=3, padding=lambda info: 64)
v1 = bytearray(b"TAG" + bytes(125))
v1[3:16], v1[93:97], v1[97:104], v1[126], v1[127] = b"Seed v1 title", b"1999", b"comment", 3, 17
write("v23-rich.mp3", bytes(v1), "ab")

# Today's version-2.4 tags: UTF-8 text in every frame that has an encoding byte, several values, dates and people
# lists that version 2.3 names otherwise, a frame far larger than the others; then text that is not UTF-8.
write("v24-utf8.mp3", audio)
tags = id3.ID3()
for f in [id3.TIT2(encoding=3, text="Seed \u00e9\u4e2d\U0001f3b5"), id3.TPE1(encoding=3, text=["Anna", "Bob"]),
          id3.TDRC(encoding=3, text="2024-03-15T10:30"), id3.TDOR(encoding=3, text="1999-05"),
          id3.TIPL(encoding=3, people=[["producer", "P"]]), id3.TMCL(encoding=3, people=[["piano", "Q"]]),
          id3.COMM(encoding=3, lang="eng", desc="d\u00e9", text="Seed comment"),
          id3.USLT(encoding=3, lang="eng", desc="", text="la la"), id3.TXXX(encoding=3, desc="k", text=["a", "b"]),
          id3.APIC(encoding=3, mime="image/png", type=3, desc="\u00e9", data=b"\x89PNG" + bytes(40)),
          id3.GEOB(encoding=3, mime="a/b", filename="f\u00e9", desc="g", data=b"obj"),
          id3.WXXX(encoding=3, desc="w\u00e9", url="http://x"), id3.PRIV(owner="big", data=bytes(30000))]:
    tags.add(f)
tags.save(p("v24-utf8.mp3"), v2_version=4, padding=lambda info: 100)
write("v24-bad-utf8.mp3", tag(4, 0, b"".join(fid + syncsafe(len(v)) + b"\0\0" + v for fid, v in [
    (b"TIT2", b"\x03\xff\xfe"), (b"COMM", b"\x03eng\0\xc3"), (b"APIC", b"\x03image/png\0\x03\xf8\0\x89"),
    (b"TALB", b"\x03ok\0\0more")])) + audio)
write("v23-junk.mp3", tag(3, 0, frame("TIT2", b"\0Junk") + bytes(8) + b"\xff\xfb\x90\x64" + bytes(8)) + audio)

# Layouts only hand-made tags have.
write("v22.mp3", tag(2, 0, frame("TT2", b"\0Seed 2.2 title") + frame("TP1", b"\x01\xff\xfeS\0e\0e\0d\0\0\0") +
                     frame("COM", b"\0eng\0Seed comment") + frame("PIC", b"\0PNG\0\0" + bytes(16)) +
                     frame("TYE", b"\x001999")) + audio)
extended = struct.pack(">I", 6) + b"\0\0" + struct.pack(">I", 0)
write("v23-extended.mp3", tag(3, 0x40, extended + frame("TIT2", b"\0Extended") + bytes(20)) + audio)
write("v23-unsync.mp3", tag(3, 0x80, frame("TIT2", b"\x01\xff\x00\xfeS\0e\0e\0d\0")) + audio)
v24 = [(b"TIT2", b"\x03Seed 2.4 title"), (b"TDRC", b"\x002001")]
body = syncsafe(6) + b"\x01\0" + b"".join(fid + syncsafe(len(v)) + b"\0\0" + v for fid, v in v24)
write("v24-footer.mp3", tag(4, 0x50, body) + audio + b"3DI" + bytes([4, 0, 0x50]) + syncsafe(len(body)))
write("v23-drop.mp3", tag(3, 0, frame("ZZZZ", bytes(8)) + frame("TIT2", b"\0after")) + audio)

# Ogg: comments, none, and a comment packet of several segments.
ffmpeg("seed.wav", "-bitexact", "-map_metadata", "-1")
for name, comments in [("tags.ogg", ["TITLE=Seed title", "ARTIST=Seed artist", "album=lower case name",
                                     "TITLE=second title", "TRACKNUMBER=7", "UNKNOWN=kept"]),
                       ("none.ogg", []), ("long.ogg", ["COMMENT=" + "c" * 1000])]:
    subprocess.run(["oggenc", "-Q", "-q", "-1", "-o", p(name), *[a for c in comments for a in ("-c", c)],
                    p("seed.wav")], check=True)
os.remove(p("seed.wav"))

# Ogg headers across pages: comment packets that mutagen spreads over several pages (with a long LYRICS entry that the
# reader steps over), Ogg Opus, and hand-broken segment tables: a comment packet that never ends, one claimed longer
# than the file, a segment count past the table.
ffmpeg("opus.opus", "-c:a", "libopus", "-b:a", "8k", "-metadata", "title=Seed opus", "-f", "ogg")
for name, kind, source in [("paged.ogg", oggvorbis.OggVorbis, "tags.ogg"), ("paged.opus", oggopus.OggOpus, "opus.opus")]:
    shutil.copy(p(source), p(name))
    f = kind(p(name))
    f["COMMENT"], f["ARTIST"], f["LYRICS"] = "c" * 9000, ["One", "Tw\u00f6"], "l" * 9000
    f.save()


def page_starts(data):
    at = 0
    while at + 27 <= len(data):
        yield at
        at += 27 + data[at + 26] + sum(data[at + 27:at + 27 + data[at + 26]])


for name, source in [("never-ends.ogg", "paged.ogg"), ("claims-more.opus", "paged.opus"), ("count.opus", "paged.opus")]:
    with open(p(source), "rb") as f:
        data = bytearray(f.read())
    starts = list(page_starts(data))
    start, segments = starts[1], data[starts[1] + 26]
    if name == "never-ends.ogg":
        for at in starts[1:]:
            data[at + 27:at + 27 + data[at + 26]] = b"\xff" * data[at + 26]
    elif name == "claims-more.opus":
        data = data[:start + 27 + segments + 3000]
    else:
        data[start + 26] = 255
    write(name, bytes(data))

# Windows Media: what ffmpeg writes, then attributes of every type, some in the header extension's metadata objects.
ffmpeg("tags.wma", "-c:a", "wmav2", "-b:a", "32k", *TAGS, "-f", "asf")
ffmpeg("typed.wma", "-c:a", "wmav2", "-b:a", "32k", "-metadata", "title=Typed", "-f", "asf")
f = asf.ASF(p("typed.wma"))
f.update({"WM/TrackNumber": [asf.ASFDWordAttribute(5)], "WM/Year": [asf.ASFUnicodeAttribute("2003")],
          "WM/Genre": [asf.ASFUnicodeAttribute("Jazz"), asf.ASFUnicodeAttribute("Blues")],
          "WM/BeatsPerMinute": [asf.ASFWordAttribute(120)],
          "WM/EncodingTime": [asf.ASFQWordAttribute(128000000000000000)],
          "WM/Picture": [asf.ASFByteArrayAttribute(b"\x03" + bytes(20))], "IsVBR": [asf.ASFBoolAttribute(False)],
          "WM/MediaClassPrimaryID": [asf.ASFGUIDAttribute(bytes(range(16)))],
          "WM/AlbumTitle": [asf.ASFUnicodeAttribute("Library album", language=1)],
          "WM/Composer": [asf.ASFUnicodeAttribute("Stream composer", stream=1)]})
f.save()
# Values too long for a 16-bit length, which mutagen keeps in the Metadata Library: a text and a binary.
ffmpeg("long.wma", "-c:a", "wmav2", "-b:a", "32k", "-metadata", "title=Long", "-f", "asf")
f = asf.ASF(p("long.wma"))
f.update({"WM/AlbumCoverURL": [asf.ASFUnicodeAttribute("http://example.org/" + "u" * 40000)],
          "WM/EncodingTime": [asf.ASFByteArrayAttribute(bytes(70000))]})
f.save()
