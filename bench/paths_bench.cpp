// getSM3HashValue against a raw EVP digest of the same mebibyte, and
// traverseDirectory against nftw(3) collecting the same paths of a tree of
// 50,000 entries. Neither library call logs on these inputs.

#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <vorxlabelmgr/path_utils.h>
#include <vorxlabelmgr/sm3.h>

namespace {

const std::string& mebibyte()
{
    static const std::string data = [] {
        std::string d(1u << 20, '\0');
        for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<char>((i * 131) % 251);
        return d;
    }();
    return data;
}

void BM_getSM3HashValue_1MiB(benchmark::State& state)
{
    const std::string& data = mebibyte();
    for (auto _ : state) benchmark::DoNotOptimize(getSM3HashValue(data));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}

// The same steps by hand: look up, context, one update, final, hex text.
void BM_rawEvpSm3_1MiB(benchmark::State& state)
{
    const std::string& data = mebibyte();
    for (auto _ : state) {
        const EVP_MD* md = EVP_get_digestbyname("SM3");
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int len = 0;
        EVP_DigestInit_ex(ctx, md, nullptr);
        EVP_DigestUpdate(ctx, data.data(), data.size());
        EVP_DigestFinal_ex(ctx, digest, &len);
        EVP_MD_CTX_free(ctx);
        char hex[2 * EVP_MAX_MD_SIZE + 1];
        for (unsigned int i = 0; i < len; ++i) {
            hex[2 * i] = "0123456789abcdef"[digest[i] >> 4];
            hex[2 * i + 1] = "0123456789abcdef"[digest[i] & 15];
        }
        benchmark::DoNotOptimize(std::string(hex, 2 * len));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}

std::string treeRoot;
size_t treeEntries = 0;

// 100 directories of 499 files: 50,000 entries below the root.
bool makeTree()
{
    char tmpl[] = "/tmp/vorx-bench-tree-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return false;
    treeRoot = tmpl;
    for (int d = 0; d < 100; ++d) {
        const std::string dir = treeRoot + "/dir" + std::to_string(d);
        if (mkdir(dir.c_str(), 0755) != 0) return false;
        for (int f = 0; f < 499; ++f) {
            const std::string file = dir + "/file" + std::to_string(f);
            int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0 || close(fd) != 0) return false;
        }
    }
    treeEntries = 100 + 100 * 499;
    return true;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return remove(path);
}

std::vector<std::string>* nftwList = nullptr;

int collect(const char* path, const struct stat*, int, struct FTW*)
{
    nftwList->emplace_back(path);
    return 0;
}

void BM_traverseDirectory_50k(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<std::string> list;
        traverseDirectory(treeRoot, list);
        if (list.size() != treeEntries + 1) state.SkipWithError("traverseDirectory listed the wrong number of entries");
        benchmark::DoNotOptimize(list.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(treeEntries));
}

void BM_nftw_50k(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<std::string> list;
        nftwList = &list;
        nftw(treeRoot.c_str(), collect, 64, FTW_PHYS);
        if (list.size() != treeEntries + 1) state.SkipWithError("nftw listed the wrong number of entries");
        benchmark::DoNotOptimize(list.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(treeEntries));
}

BENCHMARK(BM_getSM3HashValue_1MiB);
BENCHMARK(BM_rawEvpSm3_1MiB);
BENCHMARK(BM_traverseDirectory_50k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_nftw_50k)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (!makeTree()) {
        std::perror("building the benchmark tree");
        return 1;
    }
    // Both walks must see the same paths before their speed means anything.
    std::vector<std::string> ours, theirs;
    traverseDirectory(treeRoot, ours);
    nftwList = &theirs;
    nftw(treeRoot.c_str(), collect, 64, FTW_PHYS);
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    const bool same = ours == theirs;
    if (same)
        benchmark::RunSpecifiedBenchmarks();
    else
        std::fprintf(stderr, "traverseDirectory and nftw list different paths\n");
    benchmark::Shutdown();
    nftw(treeRoot.c_str(), removeEntry, 64, FTW_DEPTH | FTW_PHYS);
    return same ? 0 : 1;
}
