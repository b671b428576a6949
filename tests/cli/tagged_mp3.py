#!/usr/bin/python3
"""tagged_mp3.py TAGGER OUT: an MP3 tagged the way TAGGER (ffmpeg, ffmpeg-v23, eyed3, eyed3-v23, mutagen,
mutagen-v23, id3v2) tags it: non-ASCII text, a multi-valued artist, a full date, an eng comment, a 150 KB front
cover and two 60 KB pictures, then 1 MB of padding inside the tag. Where a tool cannot write something (id3v2
writes no pictures, ffmpeg no comment language), the file has what the tool wrote."""
import os
import subprocess
import sys

from mutagen import id3

tagger, out = sys.argv[1], sys.argv[2]
work = os.path.dirname(os.path.abspath(out))
TITLE = "\u00c9t\u00e9 \u041f\u0440\u0438\u0432\u0435\u0442 \u4f60\u597d \U0001f3b5"
ARTISTS = ["\u0410\u043d\u043d\u0430", "Bob"]
ALBUM = "\u0410\u043b\u044c\u0431\u043e\u043c \u65e5\u672c"
COMMENT = "\u041a\u043e\u043c\u043c\u0435\u043d\u0442\u0430\u0440\u0438\u0439 \u2713"
PADDING = 1 << 20


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def ffmpeg(*args):
    run("ffmpeg", "-nostdin", "-y", "-loglevel", "error", *args)


def picture(name, size, seed, source):
    path = os.path.join(work, name)
    ffmpeg("-f", "lavfi", "-i", f"color=gray:s={size},{source}noise=alls=100:allf=u:all_seed={seed}", "-frames:v", "1",
           "-q:v", "2", path)
    return path


def add_padding(path):
    """Zeros behind the tool's frames, counted in the tag's size: what taggers that pad leave."""
    with open(path, "rb") as f:
        data = f.read()
    size = sum((data[6 + i] & 0x7F) << (7 * (3 - i)) for i in range(4)) + PADDING
    header = data[:6] + bytes((size >> (7 * (3 - i))) & 0x7F for i in range(4))
    end = 10 + size - PADDING
    with open(path, "wb") as f:
        f.write(header + data[10:end] + bytes(PADDING) + data[end:])


audio = os.path.join(work, "plain.mp3")
if not os.path.exists(audio):
    ffmpeg("-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-ac", "1", "-c:a", "libmp3lame", "-b:a", "64k",
           audio)
cover = picture("cover.jpg", "300x300", 3, "format=gray,")
pictures = [(cover, 3, "front")] + [(picture(name + ".png", "144x144", kind, ""), kind, name)
                                    for name, kind in (("back", 4), ("leaflet", 5))]

if tagger.startswith("ffmpeg"):
    version = "3" if tagger.endswith("v23") else "4"
    inputs = [a for p, _, _ in pictures for a in ("-i", p)]
    maps = [a for i in range(len(pictures) + 1) for a in ("-map", str(i))]
    streams = []
    for i, (_, kind, name) in enumerate(pictures, 1):
        label = {3: "Cover (front)", 4: "Cover (back)", 5: "Leaflet page"}[kind]
        streams += [f"-metadata:s:{i}", f"comment={label}", f"-metadata:s:{i}", f"title={name}",
                    f"-disposition:{i}", "attached_pic"]
    meta = [a for kv in (f"title={TITLE}", f"artist={'/'.join(ARTISTS)}", f"album={ALBUM}", "date=2024-03-15",
                         "genre=Rock", "track=3/12", f"comment={COMMENT}") for a in ("-metadata", kv)]
    ffmpeg("-i", audio, *inputs, *maps, "-c", "copy", *meta, *streams, "-id3v2_version", version, out)
    add_padding(out)
elif tagger.startswith("eyed3"):
    run("cp", audio, out)
    images = [a for p, kind, name in pictures
              for a in ("--add-image", f"{p}:{ {3: 'FRONT_COVER', 4: 'BACK_COVER', 5: 'LEAFLET'}[kind]}:{name}")]
    version = ["--to-v2.3"] if tagger.endswith("v23") else []
    run("eyeD3", "-Q", "--no-color", *version, "-t", TITLE, "-a", "/".join(ARTISTS), "-A", ALBUM,
        "--recording-date", "2024-03-15", "-G", "Rock", "-n", "3", "-N", "12", "--add-comment", f"{COMMENT}::eng",
        *images, out)
    add_padding(out)
elif tagger.startswith("mutagen"):
    run("cp", audio, out)
    tags = id3.ID3()
    for frame in [id3.TIT2(encoding=3, text=TITLE), id3.TPE1(encoding=3, text=ARTISTS), id3.TALB(encoding=3, text=ALBUM),
                  id3.TDRC(encoding=3, text="2024-03-15T10:30"), id3.TCON(encoding=3, text="Rock"),
                  id3.TRCK(encoding=3, text="3/12"), id3.COMM(encoding=3, lang="eng", desc="", text=COMMENT),
                  id3.TIPL(encoding=3, people=[["producer", "\u674e"]]), id3.TDOR(encoding=3, text="1999-05-01"),
                  id3.TXXX(encoding=3, desc="\u00e9tiquette", text=["a", "b"]),
                  id3.USLT(encoding=3, lang="eng", desc="", text="la \u00e9 la")]:
        tags.add(frame)
    for path, kind, name in pictures:
        mime = "image/jpeg" if path.endswith(".jpg") else "image/png"
        tags.add(id3.APIC(encoding=3, mime=mime, type=kind, desc=name, data=open(path, "rb").read()))
    version = 3 if tagger.endswith("v23") else 4
    tags.save(out, v2_version=version, padding=lambda info: PADDING)
elif tagger == "id3v2":
    run("cp", audio, out)
    run("id3v2", "-t", TITLE, "-a", "/".join(ARTISTS), "-A", ALBUM, "-y", "2024", "--TDAT", "1503", "-g", "17",
        "-T", "3/12", "-c", f":{COMMENT}:eng", out)
    add_padding(out)
else:
    sys.exit("unknown tagger " + tagger)
