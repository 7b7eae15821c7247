// Loading INI files of 1,000, 10,000 and 100,000 keys in 1,000 sections into TMemIniFile and reading
// every key back, against reading the same files' lines into a plain string list in the same run.
// Target: the time per key of loading and reading stays within 2x across the three sizes (both are
// linear in the file). Loading alone is shown beside its baseline: in the smallest file the 1,000
// section headers are half the lines, so even reading the lines costs more per key there.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/IniFiles.h"

namespace {

constexpr int Sections = 1000;

std::string WriteIniFile(int keys)
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "sf_bench_" + std::to_string(keys) + ".ini";
    std::string text;
    for (int s = 0; s < Sections; ++s) {
        text += "[Section" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < keys / Sections; ++k)
            text += std::to_string(k + 1) + "=Value of key " + std::to_string(k + 1) + " in section " + std::to_string(s) + "\r\n";
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return path;
}

// Best of several rounds, in milliseconds.
template <class F>
double BestOf(int rounds, F&& body)
{
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const double start = Now();
        body();
        best = std::min(best, Now() - start);
    }
    return best;
}

}

int main()
{
    PrintArchitecture();
    std::printf("%8s %10s %10s %12s | %s\n", "keys", "lines ms", "load ms", "load+read ms",
                "ns per key: lines, load, load and read");
    std::vector<double> perKey, loadPerKey, linesPerKey;
    for (int keys : {1000, 10000, 100000}) {
        const std::string path = WriteIniFile(keys);
        const int rounds = keys >= 100000 ? 3 : 9;
        const double lines = BestOf(rounds, [&] {
            TStringList list;
            list.LoadFromFile(path);
        });
        const double load = BestOf(rounds, [&] { std::unique_ptr<TMemIniFile, TObjectFree> ini(new TMemIniFile(path)); });
        size_t found = 0;
        const double loadAndRead = BestOf(rounds, [&] {
            found = 0;
            std::unique_ptr<TMemIniFile, TObjectFree> ini(new TMemIniFile(path));
            for (int s = 0; s < Sections; ++s)
                for (int k = 1; k <= keys / Sections; ++k)
                    found += !ini->ReadString("Section" + std::to_string(s), std::to_string(k), "").empty();
        });
        DeleteFileA(path.c_str());
        linesPerKey.push_back(lines * 1e6 / keys);
        loadPerKey.push_back(load * 1e6 / keys);
        perKey.push_back(loadAndRead * 1e6 / keys);
        std::printf("%8d %10.2f %10.2f %12.2f | %6.0f %6.0f %6.0f   (%zu of %d keys found)\n", keys, lines, load,
                    loadAndRead, linesPerKey.back(), loadPerKey.back(), perKey.back(), found, keys);
    }
    auto spread = [](const std::vector<double>& v) {
        return *std::max_element(v.begin(), v.end()) / *std::min_element(v.begin(), v.end());
    };
    std::printf("time per key, largest over smallest: load and read %.2fx (target: within 2x) %s; load alone %.2fx, "
                "reading the lines alone %.2fx\n",
                spread(perKey), spread(perKey) <= 2.0 ? "met" : "NOT MET", spread(loadPerKey), spread(linesPerKey));
    return 0;
}
