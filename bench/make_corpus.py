"""Makes the bench corpus in a folder: many small tagged files of each kind,
two large files for the rewrite (and the large Ogg file again with a 10 MB
picture), and MP3 files whose tag holds one large picture in an
unsynchronised version-2.3 tag.

The audio comes from real encoders (ffmpeg, oggenc), encoded once per kind;
the small MP3 files get tags of their own written here, the Ogg and WMA files
are copies of a few encoded variants.

Usage: make_corpus.py DIR [--mp3 N] [--ogg N] [--wma N] [--big-mb N]
"""
import argparse
import base64
import os
import re
import shutil
import struct
import subprocess
import sys

VARIANTS = 8
PICTURE_SIZES_MB = (2, 5, 10, 20, 40)
GENRES = ("(13)", "Rock", "(17)Rock", "Jazz", "(8)")
PADDING = 512
BIG_OGG_PICTURE_MB = 10


def run(command, **kwargs):
    subprocess.run(command, check=True, **kwargs)


def ffmpeg(*args):
    run(["ffmpeg", "-nostdin", "-v", "error", "-y", *args])


def syncsafe(n):
    return bytes(((n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F))


def frame(frame_id, body):
    return frame_id.encode("ascii") + struct.pack(">IH", len(body), 0) + body


def text_frame(frame_id, text, utf16=False):
    if utf16:
        return frame(frame_id, b"\x01\xff\xfe" + text.encode("utf-16-le"))
    return frame(frame_id, b"\x00" + text.encode("latin-1"))


def comment_frame(text):
    return frame("COMM", b"\x00eng\x00" + text.encode("latin-1"))


def id3v2_tag(frames, flags=0, padding=PADDING):
    body = b"".join(frames) + bytes(padding)
    return b"ID3\x03\x00" + bytes((flags,)) + syncsafe(len(body)) + body


def id3v1_block(title, artist, album, year, comment, track, genre):
    def field(text, width):
        return text.encode("latin-1")[:width].ljust(width, b"\x00")

    return (b"TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4) +
            field(comment, 28) + bytes((0, track, genre)))


def song(i):
    """The tag values of file i: a few hundred artists and albums, like a library."""
    return {
        "title": f"Title number {i}",
        "artist": f"Artist {i % 397}",
        "album": f"Album {i % 613}",
        "year": str(1960 + i % 60),
        "track": i % 20 + 1,
        "genre": GENRES[i % len(GENRES)],
        "comment": f"Ripped for the bench, file {i}",
    }


def mp3_tags(i):
    s = song(i)
    utf16 = i % 3 == 0  # a third of the files carry UTF-16 text, as many taggers write
    frames = [
        text_frame("TIT2", s["title"], utf16),
        text_frame("TPE1", s["artist"], utf16),
        text_frame("TALB", s["album"], utf16),
        text_frame("TYER", s["year"]),
        text_frame("TCON", s["genre"]),
        text_frame("TRCK", str(s["track"])),
        comment_frame(s["comment"]),
    ]
    v1 = id3v1_block(s["title"], s["artist"], s["album"], s["year"], s["comment"], s["track"], 17)
    return id3v2_tag(frames), v1


def encode_mp3(path, seconds, channels, bitrate, source="sine=f=440"):
    ffmpeg("-f", "lavfi", "-i", f"{source}:d={seconds}", "-ac", str(channels), "-b:a", bitrate,
           "-id3v2_version", "0", "-write_xing", "0", "-f", "mp3", path)
    with open(path, "rb") as f:
        return f.read()


def make_mp3s(folder, work, count):
    os.makedirs(folder, exist_ok=True)
    audio = encode_mp3(os.path.join(work, "small.mp3"), 1, 1, "64k")
    for i in range(count):
        v2, v1 = mp3_tags(i)
        with open(os.path.join(folder, f"{i:05d}.mp3"), "wb") as f:
            f.write(v2 + audio + v1)


def vorbis_comments(i):
    s = song(i)
    return [f"TITLE={s['title']}", f"ARTIST={s['artist']}", f"ALBUM={s['album']}",
            f"DATE={s['year']}", f"GENRE=Rock", f"TRACKNUMBER={s['track']}",
            f"COMMENT={s['comment']}"]


def oggenc(wav, path, comments, quality):
    args = ["oggenc", "-Q", "-q", str(quality), "-o", path]
    for c in comments:
        args += ["-c", c]
    run(args + [wav])


def make_oggs(folder, work, count):
    os.makedirs(folder, exist_ok=True)
    wav = os.path.join(work, "small.wav")
    ffmpeg("-f", "lavfi", "-i", "sine=f=440:d=1", "-ac", "1", "-fflags", "+bitexact", wav)
    variants = []
    for v in range(VARIANTS):
        path = os.path.join(work, f"variant{v}.ogg")
        oggenc(wav, path, vorbis_comments(v), 3)
        variants.append(path)
    for i in range(count):
        shutil.copyfile(variants[i % VARIANTS], os.path.join(folder, f"{i:05d}.ogg"))


def make_wmas(folder, work, count):
    os.makedirs(folder, exist_ok=True)
    variants = []
    for v in range(VARIANTS):
        s = song(v)
        path = os.path.join(work, f"variant{v}.wma")
        metadata = []
        for key in ("title", "artist", "album", "genre", "comment", "track"):
            metadata += ["-metadata", f"{key}={s[key]}"]
        metadata += ["-metadata", f"WM/Year={s['year']}"]
        ffmpeg("-f", "lavfi", "-i", "sine=f=440:d=1", "-ac", "1", "-c:a", "wmav2", "-b:a", "64k",
               *metadata, path)
        variants.append(path)
    for i in range(count):
        shutil.copyfile(variants[i % VARIANTS], os.path.join(folder, f"{i:05d}.wma"))


def make_big_mp3(path, work, megabytes):
    """Ten seconds of 320 kbit/s audio repeated to the size, between the two tags."""
    audio = encode_mp3(os.path.join(work, "ten.mp3"), 10, 2, "320k", "anoisesrc=c=pink")
    v2, v1 = mp3_tags(1)
    with open(path, "wb") as f:
        f.write(v2)
        written = 0
        while written < megabytes << 20:
            f.write(audio)
            written += len(audio)
        f.write(v1)


def make_big_ogg(path, megabytes):
    """Noise at 96 kHz and the highest quality: about 100 kbyte per second."""
    seconds = megabytes * 10
    encoder = subprocess.Popen(["oggenc", "-Q", "-q", "10", "-o", path] +
                               [a for c in vorbis_comments(1) for a in ("-c", c)] + ["-"],
                               stdin=subprocess.PIPE)
    run(["ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
         f"anoisesrc=d={seconds}:r=96000", "-ac", "2", "-fflags", "+bitexact", "-f", "wav", "-"],
        stdout=encoder.stdin)
    encoder.stdin.close()
    if encoder.wait() != 0:
        raise RuntimeError("oggenc failed")


def make_big_ogg_picture(folder):
    """big.ogg with a picture of 10 MB in a METADATA_BLOCK_PICTURE comment, as
    taggers store one: its header pages take about 13 MB."""
    from mutagen.flac import Picture
    from mutagen.oggvorbis import OggVorbis
    path = os.path.join(folder, "big-picture.ogg")
    shutil.copyfile(os.path.join(folder, "big.ogg"), path)
    picture = Picture()
    picture.type, picture.mime, picture.data = 3, "image/jpeg", os.urandom(BIG_OGG_PICTURE_MB << 20)
    tagged = OggVorbis(path)
    tagged["METADATA_BLOCK_PICTURE"] = [base64.b64encode(picture.write()).decode()]
    tagged.save()


def unsynchronise(data):
    """FF followed by 00 or by E0 and above gets a 00 between; a final FF too."""
    data = re.sub(rb"\xff(?=[\x00\xe0-\xff])", b"\xff\x00", data)
    return data + b"\x00" if data.endswith(b"\xff") else data


def make_pictures(folder, work):
    os.makedirs(folder, exist_ok=True)
    audio = encode_mp3(os.path.join(work, "small.mp3"), 1, 1, "64k")
    for mb in PICTURE_SIZES_MB:
        picture = os.urandom(mb << 20)  # as dense in FF bytes as any compressed image
        frames = [text_frame("TIT2", f"Picture of {mb} MB"),
                  frame("APIC", b"\x00image/jpeg\x00\x03\x00" + picture)]
        body = unsynchronise(b"".join(frames))
        tag = b"ID3\x03\x00\x80" + syncsafe(len(body)) + body
        with open(os.path.join(folder, f"picture-{mb}mb.mp3"), "wb") as f:
            f.write(tag + audio)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dir")
    parser.add_argument("--mp3", type=int, default=10000)
    parser.add_argument("--ogg", type=int, default=2000)
    parser.add_argument("--wma", type=int, default=2000)
    parser.add_argument("--big-mb", type=int, default=100)
    args = parser.parse_args()
    work = os.path.join(args.dir, "work")
    os.makedirs(work, exist_ok=True)
    make_mp3s(os.path.join(args.dir, "mp3"), work, args.mp3)
    make_oggs(os.path.join(args.dir, "ogg"), work, args.ogg)
    make_wmas(os.path.join(args.dir, "wma"), work, args.wma)
    make_pictures(os.path.join(args.dir, "picture"), work)
    os.makedirs(os.path.join(args.dir, "big"), exist_ok=True)
    make_big_mp3(os.path.join(args.dir, "big", "big.mp3"), work, args.big_mb)
    make_big_ogg(os.path.join(args.dir, "big", "big.ogg"), args.big_mb)
    make_big_ogg_picture(os.path.join(args.dir, "big"))
    shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
