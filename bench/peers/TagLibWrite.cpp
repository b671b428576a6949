// The peer writer: TagLib changes the title of one file, saves it and has
// the file flushed to the disk, as every update of ours is.
#include <fcntl.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FILE TITLE\n", argv[0]);
        return 2;
    }
    TagLib::FileRef file(argv[1], false);
    if (file.isNull() || file.tag() == nullptr) return 1;
    file.tag()->setTitle(TagLib::String(argv[2], TagLib::String::UTF8));
    if (!file.save()) return 1;
    int fd = open(argv[1], O_RDONLY);
    bool flushed = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0) close(fd);
    return flushed ? 0 : 1;
}
