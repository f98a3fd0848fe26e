// Parse-and-free and generate throughput of this project's JSON layer against nlohmann/json and RapidJSON, on a
// firmware catalogue of 10,000 objects and on a board INIT message handled 100,000 times.
//   json_bench <folder with catalogue.json and init.json>
#include "json.h"

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::string& path)
{
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        throw std::runtime_error("cannot read " + path + " (run bench/json/make-inputs first)");
    }
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

// Keeps the optimiser from dropping work whose result is otherwise unused.
volatile std::size_t Sink = 0;

// Seconds for running the task `repeat` times.
double Seconds(int repeat, const std::function<std::size_t()>& task)
{
    const auto start = Clock::now();
    for (int i = 0; i < repeat; ++i) {
        Sink = Sink + task();
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct TRow
{
    const char* Name;
    double Ours;
    double Nlohmann;
    double Rapid;
};

void PrintRow(const TRow& row)
{
    std::printf("%-36s %10.1f %10.1f %10.1f %12.2f %12.2f\n", row.Name, row.Ours, row.Nlohmann, row.Rapid,
                row.Ours / row.Nlohmann, row.Ours / row.Rapid);
}

// Runs the three libraries' tasks in turn, round after round, and keeps each one's best round, so that load from
// other processes on the machine falls on all three alike. Gives MB/s for the given byte counts per task run.
void Race(int rounds, int repeat, const std::size_t (&bytes)[3], const std::function<std::size_t()> (&tasks)[3],
          TRow& row)
{
    double best[3] = {1e300, 1e300, 1e300};
    for (int round = 0; round < rounds; ++round) {
        for (int library = 0; library < 3; ++library) {
            best[library] = std::min(best[library], Seconds(repeat, tasks[library]));
        }
    }
    double* speeds[3] = {&row.Ours, &row.Nlohmann, &row.Rapid};
    for (int library = 0; library < 3; ++library) {
        *speeds[library] = static_cast<double>(bytes[library]) * repeat / best[library] / 1e6;
    }
}

std::string RapidText(const rapidjson::Document& document)
{
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    return {buffer.GetString(), buffer.GetSize()};
}

// Measures one input: parse and free `repeat` times, then generate `repeat` times from one parsed tree.
void Measure(const char* label, const std::string& text, int rounds, int repeat, TRow& parse, TRow& generate)
{
    using quorlane::json::TJSON;
    Race(rounds, repeat, {text.size(), text.size(), text.size()},
         {[&] { return static_cast<std::size_t>(TJSON::ParseJSONText(text)->ItemCount()); },
          [&] { return nlohmann::json::parse(text).size(); },
          [&] {
              rapidjson::Document document;
              document.Parse(text.data(), text.size());
              return static_cast<std::size_t>(document.IsArray());
          }},
         parse);

    const auto ours = TJSON::ParseJSONText(text);
    const auto theirs = nlohmann::json::parse(text);
    rapidjson::Document rapid;
    rapid.Parse(text.data(), text.size());
    const std::string oursText = TJSON::GenerateJSONText(ours.get());
    const std::string theirText = theirs.dump();
    const std::string rapidText = RapidText(rapid);
    Race(rounds, repeat, {oursText.size(), theirText.size(), rapidText.size()},
         {[&] { return TJSON::GenerateJSONText(ours.get()).size(); }, [&] { return theirs.dump().size(); },
          [&] { return RapidText(rapid).size(); }},
         generate);
    std::printf("%s: %zu bytes in; generated %zu (ours), %zu (nlohmann/json), %zu (RapidJSON) bytes\n", label,
                text.size(), oursText.size(), theirText.size(), rapidText.size());
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : ".";
    try {
        const std::string catalogue = ReadFile(folder + "/catalogue.json");
        const std::string init = ReadFile(folder + "/init.json");

        TRow catalogueParse{"catalogue parse+free", 0, 0, 0};
        TRow catalogueGenerate{"catalogue generate", 0, 0, 0};
        TRow initParse{"INIT parse+free (x100000)", 0, 0, 0};
        TRow initGenerate{"INIT generate (x100000)", 0, 0, 0};
        Measure("catalogue", catalogue, 15, 2, catalogueParse, catalogueGenerate);
        Measure("INIT message", init, 5, 100000, initParse, initGenerate);

        std::printf("\n%-36s %10s %10s %10s %12s %12s\n", "MB/s (best of interleaved rounds)", "ours", "nlohmann",
                    "RapidJSON", "ours/nlohm.", "ours/Rapid");
        for (const TRow& row : {catalogueParse, catalogueGenerate, initParse, initGenerate}) {
            PrintRow(row);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "json_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
