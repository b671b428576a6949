// The peer reader: TagLib reads the tags of every file named on the command
// line, without audio properties, and the common fields are fetched as a host
// would fetch them.
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <cstdio>

int main(int argc, char** argv) {
    long failed = 0, values = 0;
    for (int i = 1; i < argc; ++i) {
        TagLib::FileRef file(argv[i], false);
        const TagLib::Tag* tag = file.tag();
        if (file.isNull() || tag == nullptr) {
            ++failed;
            continue;
        }
        values += !tag->title().isEmpty() + !tag->artist().isEmpty() + !tag->album().isEmpty() +
                  !tag->comment().isEmpty() + !tag->genre().isEmpty() + (tag->year() != 0) +
                  (tag->track() != 0);
    }
    std::printf("files %d failed %ld values %ld\n", argc - 1, failed, values);
    return failed == 0 ? 0 : 1;
}
