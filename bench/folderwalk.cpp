// bench_folderwalk PATH: walks the folder with every sub-folder, as the
// File/Folder Size test does, and prints the byte total. bench/run.sh
// folder-walk times it against du on the same tree.

#include "probes/filesystemprobes.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    std::printf("%lld\n", static_cast<long long>(SumFolderSize(argv[1], true)));
    return 0;
}
