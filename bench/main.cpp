// camview-bench: measures what a user waits for and what the program holds in memory, each
// figure beside its reference, and writes the table as JSON.
//   camview-bench [--json FILE] [--only 640x480,...] [--skip decode,fetch,process]
#include "bench/benches.h"

#include "platform/application.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::vector<std::string> Split(const std::string& list) {
    std::vector<std::string> items;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');) items.push_back(item);
    return items;
}

std::string Machine() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line, model = "unknown processor";
    while (std::getline(cpuinfo, line))
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    return model + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::strcmp(argv[1], "--memory-child") == 0)
        return MemoryChild(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    if (argc >= 3 && std::strcmp(argv[1], "--startup-child") == 0) return StartupChild(std::atof(argv[2]));

    std::string json = "bench/results.json";
    std::vector<std::string> only, skip;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--json") == 0) json = argv[i + 1];
        else if (std::strcmp(argv[i], "--only") == 0) only = Split(argv[i + 1]);
        else if (std::strcmp(argv[i], "--skip") == 0) skip = Split(argv[i + 1]);
    }
    auto skipped = [&](const char* group) { return std::find(skip.begin(), skip.end(), group) != skip.end(); };

    TApplication application(argc, argv);
    application.Initialize();
    const std::vector<Snapshot> snapshots = MakeSnapshots(only);
    std::vector<BenchRow> rows;
    try {
        if (!skipped("decode")) DecodeBenches(snapshots, rows);
        if (!skipped("fetch")) FetchBenches(snapshots, rows);
        if (!skipped("process")) ProcessBenches("/proc/self/exe", snapshots, rows);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "camview-bench: %s\n", e.what());
        return 1;
    }
    const std::string machine = Machine();
    std::printf("camview benchmarks on %s\n\n", machine.c_str());
    PrintTable(rows);
    WriteJson(rows, json, machine);
    return 0;
}
