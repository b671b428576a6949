#!/usr/bin/python3
"""Makes the seed files of the fuzzing corpora: small real files from ffmpeg,
oggenc and mutagen, and a few tags by hand for layouts those tools never
write (ID3v2.2, extended headers, unsynchronisation, footers).

Usage: make_seeds.py OUTDIR   (files land in OUTDIR, named by format)
"""
import os
import struct
import subprocess
import sys

from mutagen import asf, id3

SINE = ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=8000:duration=0.25", "-ac", "1"]
TAGS = ["-metadata", "title=Seed title", "-metadata", "artist=Seed artist", "-metadata", "album=Seed album",
        "-metadata", "date=2001", "-metadata", "track=7", "-metadata", "genre=Rock",
        "-metadata", "comment=Seed comment"]


def ffmpeg(out, *args):
    subprocess.run(["ffmpeg", "-nostdin", "-y", "-loglevel", "error", *SINE, *args, out], check=True)


def mp3(out, *args):
    ffmpeg(out, "-c:a", "libmp3lame", "-b:a", "8k", "-write_xing", "0", *args, "-f", "mp3")


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def frame23(fid, body, flags=b"\0\0"):
    return fid.encode() + struct.pack(">I", len(body)) + flags + body


def frame24(fid, body):
    return fid.encode() + syncsafe(len(body)) + b"\0\0" + body


def frame22(fid, body):
    return fid.encode() + struct.pack(">I", len(body))[1:] + body


def tag(version, flags, payload):
    return b"ID3" + bytes([version, 0, flags]) + syncsafe(len(payload)) + payload


def prepend(audio_path, out, head, tail=b""):
    with open(audio_path, "rb") as f:
        audio = f.read()
    with open(out, "wb") as f:
        f.write(head + audio + tail)


def id3v1(title=b"Seed v1 title", track=3, genre=17):
    block = bytearray(b"TAG" + bytes(125))
    block[3:3 + len(title)] = title
    block[93:97] = b"1999"
    block[97:97 + 7] = b"comment"
    block[126] = track
    block[127] = genre
    return bytes(block)


def main(outdir):
    os.makedirs(outdir, exist_ok=True)
    p = lambda name: os.path.join(outdir, name)

    plain = p("plain.mp3")
    mp3(plain, "-id3v2_version", "0", "-write_id3v1", "0", "-map_metadata", "-1")
    mp3(p("v24-v1.mp3"), *TAGS, "-id3v2_version", "4", "-write_id3v1", "1")
    mp3(p("v23.mp3"), *TAGS, "-id3v2_version", "3")
    mp3(p("v1-only.mp3"), *TAGS, "-id3v2_version", "0", "-write_id3v1", "1")

    # Comments in several languages and encodings, a picture, frames the
    # reader keeps verbatim, and padding.
    rich = p("v23-rich.mp3")
    prepend(plain, rich, b"")
    tags = id3.ID3()
    tags.add(id3.TIT2(encoding=1, text="Seed title \u00e9\u4e2d"))
    tags.add(id3.TPE1(encoding=0, text="Seed artist"))
    tags.add(id3.TRCK(encoding=0, text="4/12"))
    tags.add(id3.COMM(encoding=0, lang="fre", desc="x", text="commentaire"))
    tags.add(id3.COMM(encoding=1, lang="eng", desc="", text="Seed comment"))
    tags.add(id3.COMM(encoding=0, lang="eng", desc="iTunNORM", text=" 0000"))
    tags.add(id3.APIC(encoding=0, mime="image/png", type=3, desc="", data=b"\x89PNG\r\n\x1a\n" + bytes(40)))
    tags.add(id3.TXXX(encoding=3, desc="seed", text="value"))
    tags.add(id3.USLT(encoding=1, lang="eng", desc="", text="la la"))
    tags.save(rich, v2_version=3, padding=lambda info: 64)
    with open(rich, "ab") as f:
        f.write(id3v1())

    # Layouts only hand-made tags have.
    v22 = (frame22("TT2", b"\0Seed 2.2 title") + frame22("TP1", b"\x01\xff\xfeS\0e\0e\0d\0\0\0") +
           frame22("COM", b"\0eng\0Seed comment") + frame22("PIC", b"\0PNG\0\0" + bytes(16)) +
           frame22("TYE", b"\x001999"))
    prepend(plain, p("v22.mp3"), tag(2, 0, v22))
    extended = struct.pack(">I", 6) + b"\0\0" + struct.pack(">I", 0)
    prepend(plain, p("v23-extended.mp3"), tag(3, 0x40, extended + frame23("TIT2", b"\0Extended") + bytes(20)))
    unsync = frame23("TIT2", b"\x01\xff\x00\xfeS\0e\0e\0d\0")
    prepend(plain, p("v23-unsync.mp3"), tag(3, 0x80, unsync))
    v24 = frame24("TIT2", b"\x03Seed 2.4 title") + frame24("TDRC", b"\x002001")
    ext24 = syncsafe(6) + b"\x01\0"
    with open(plain, "rb") as f:
        audio = f.read()
    body = ext24 + v24
    with open(p("v24-footer.mp3"), "wb") as f:
        f.write(tag(4, 0x50, body) + audio + b"3DI" + bytes([4, 0, 0x50]) + syncsafe(len(body)))
    prepend(plain, p("v23-drop.mp3"), tag(3, 0, frame23("ZZZZ", bytes(8)) + frame23("TIT2", b"\0after")))

    # Ogg: comments, none, and a comment packet of several segments.
    wav = p("seed.wav")
    ffmpeg(wav, "-bitexact", "-map_metadata", "-1")
    subprocess.run(["oggenc", "-Q", "-q", "-1", "-o", p("tags.ogg"), "-c", "TITLE=Seed title",
                    "-c", "ARTIST=Seed artist", "-c", "album=lower case name", "-c", "TITLE=second title",
                    "-c", "TRACKNUMBER=7", "-c", "UNKNOWN=kept", wav], check=True)
    subprocess.run(["oggenc", "-Q", "-q", "-1", "-o", p("none.ogg"), wav], check=True)
    subprocess.run(["oggenc", "-Q", "-q", "-1", "-o", p("long.ogg"), "-c", "COMMENT=" + "c" * 1000, wav],
                   check=True)
    os.remove(wav)

    # Windows Media: what ffmpeg writes, then attributes of every type, some
    # in the header extension's metadata objects.
    ffmpeg(p("tags.wma"), "-c:a", "wmav2", "-b:a", "32k", *TAGS, "-f", "asf")
    typed = p("typed.wma")
    ffmpeg(typed, "-c:a", "wmav2", "-b:a", "32k", "-metadata", "title=Typed", "-f", "asf")
    f = asf.ASF(typed)
    f["WM/TrackNumber"] = [asf.ASFDWordAttribute(5)]
    f["WM/Year"] = [asf.ASFUnicodeAttribute("2003")]
    f["WM/Genre"] = [asf.ASFUnicodeAttribute("Jazz"), asf.ASFUnicodeAttribute("Blues")]
    f["WM/BeatsPerMinute"] = [asf.ASFWordAttribute(120)]
    f["WM/EncodingTime"] = [asf.ASFQWordAttribute(128000000000000000)]
    f["WM/Picture"] = [asf.ASFByteArrayAttribute(b"\x03" + bytes(20))]
    f["IsVBR"] = [asf.ASFBoolAttribute(False)]
    f["WM/MediaClassPrimaryID"] = [asf.ASFGUIDAttribute(bytes(range(16)))]
    f["WM/AlbumTitle"] = [asf.ASFUnicodeAttribute("Library album", language=1)]
    f["WM/Composer"] = [asf.ASFUnicodeAttribute("Stream composer", stream=1)]
    f.save()


if __name__ == "__main__":
    main(sys.argv[1])
