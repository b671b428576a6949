// Reading a tag that holds one large picture, in an unsynchronised
// version-2.3 tag: the time must grow with the tag's size and no faster, so
// the same read runs over pictures of several sizes and the bytes per second
// must stay flat. A plain read of the same file runs alongside for scale.
//
// Usage: zm_bench_picture [benchmark flags] DIR, where DIR holds
// picture-<MB>mb.mp3 for every size in kSizesMB.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TagIOHost.h"

namespace {

constexpr int kSizesMB[] = {2, 5, 10, 20, 40};
std::string corpus;

std::string PicturePath(int64_t megabytes) {
    return corpus + "/picture-" + std::to_string(megabytes) + "mb.mp3";
}

int64_t FileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

void MDInitPicture(benchmark::State& state) {
    std::string path = PicturePath(state.range(0));
    IzmTagIO* tagio = zm::bench::CreateTagIO();
    if (tagio == nullptr) return state.SkipWithError("no object");
    for (auto _ : state) {
        MDRecord* record = nullptr;
        HRESULT hr = tagio->MDInit(0, path.c_str(), &record, zm::bench::kNoLanguage, 0);
        if (hr != ZMTAGIO_S_OK || record->fields[MD_ID3V2_APIC].size <= 0) {
            state.SkipWithError("the picture was not read");
            break;
        }
        tagio->MDUninit();
    }
    tagio->Release();
    state.SetBytesProcessed(state.iterations() * FileSize(path));
    state.SetComplexityN(state.range(0));
}

void PlainRead(benchmark::State& state) {
    std::string path = PicturePath(state.range(0));
    int64_t size = FileSize(path);
    std::vector<uint8_t> buffer(size_t(size > 0 ? size : 1));
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ssize_t got = ::pread(fd, buffer.data(), buffer.size(), 0);
        ::close(fd);
        if (got != size) {
            state.SkipWithError("short read");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.SetComplexityN(state.range(0));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s [benchmark flags] DIR\n", argv[0]);
        return 2;
    }
    corpus = argv[1];
    for (auto* bm : {benchmark::RegisterBenchmark("MDInit/picture", MDInitPicture),
                     benchmark::RegisterBenchmark("PlainRead/picture", PlainRead)}) {
        for (int mb : kSizesMB) bm->Arg(mb);
        bm->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
