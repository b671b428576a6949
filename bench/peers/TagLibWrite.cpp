// The peer writer: TagLib changes the title of one file and saves it.
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FILE TITLE\n", argv[0]);
        return 2;
    }
    TagLib::FileRef file(argv[1], false);
    if (file.isNull() || file.tag() == nullptr) return 1;
    file.tag()->setTitle(TagLib::String(argv[2], TagLib::String::UTF8));
    return file.save() ? 0 : 1;
}
