// Node framework core: register reads and writes, change propagation and map
// filling, against a baseline of one name lookup under a recursive lock.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "nodeapi/IntReg.h"
#include "nodeapi/MaskedIntReg.h"
#include "nodeapi/Port.h"
#include "support/MemoryPort.h"

using namespace NodeApi;
using KacqTest::MemoryPort;

namespace {

// Names shaped like the camera description's, as many as it has nodes.
std::vector<std::string> NodeNames(int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i)
        names.push_back("VFormat7Feature" + std::to_string(i) + "InqReg");
    return names;
}

// Baseline: a name lookup in an ordered map under a recursive lock.
void BM_Baseline_MapLookupUnderLock(benchmark::State& state) {
    std::vector<std::string> names = NodeNames(466);
    std::map<std::string, int> table;
    for (size_t i = 0; i < names.size(); ++i)
        table[names[i]] = static_cast<int>(i);
    std::recursive_mutex lock;
    size_t i = 0;
    for (auto _ : state) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        auto it = table.find(names[i]);
        benchmark::DoNotOptimize(it->second);
        i = (i + 97) % names.size();
    }
}
BENCHMARK(BM_Baseline_MapLookupUnderLock);

// One register space, port node and a bit field on it.
struct Rig {
    MemoryPort memory{0x1000, 0x1000};
    CNodeMap map;
    CPort port;
    CMaskedIntReg field;

    explicit Rig(bool cachable) {
        memory.KeepLog(false);
        port.SetPortImpl(&memory);
        port.SetNodeMap(&map, "Port");
        field.SetNodeMap(&map, "Field");
        for (const auto& p : std::vector<std::pair<std::string, std::string>>{
                 {"pPort", "Port"},
                 {"Address", "0x1000"},
                 {"Length", "4"},
                 {"AccessMode", "RW"},
                 {"Sign", "Unsigned"},
                 {"Endianess", "BigEndian"},
                 {"LSB", "4"},
                 {"MSB", "11"},
                 {"Cachable", cachable ? "true" : "false"}})
            field.SetProperty(p.first, p.second);
        port.FinalConstruct();
        memory.FinalConstruct();
        field.FinalConstruct();
        memory.Poke32(0x1000, 0x12345678);
        field.GetValue(); // first address computation and first read
    }
};

void BM_CachedMaskedRead(benchmark::State& state) {
    Rig rig(true);
    for (auto _ : state)
        benchmark::DoNotOptimize(rig.field.GetValue());
}
BENCHMARK(BM_CachedMaskedRead);

void BM_UncachedMaskedReadThroughPort(benchmark::State& state) {
    Rig rig(false);
    for (auto _ : state)
        benchmark::DoNotOptimize(rig.field.GetValue());
}
BENCHMARK(BM_UncachedMaskedReadThroughPort);

void BM_MaskedWrite(benchmark::State& state) {
    Rig rig(true);
    int64_t v = 0;
    for (auto _ : state) {
        rig.field.SetValue(v);
        v = (v + 1) & 0xFF;
    }
}
BENCHMARK(BM_MaskedWrite);

// SetChanged(true) on a register that 50 registers depend on (each lists it
// as its invalidator).
void BM_SetChangedWith50Dependants(benchmark::State& state) {
    MemoryPort memory(0x1000, 0x1000);
    CNodeMap map;
    CPort port;
    port.SetPortImpl(&memory);
    port.SetNodeMap(&map, "Port");
    CIntReg trigger;
    trigger.SetNodeMap(&map, "Trigger");
    std::vector<std::unique_ptr<CIntReg>> dependants;
    for (int i = 0; i < 50; ++i) {
        auto reg = std::make_unique<CIntReg>();
        reg->SetNodeMap(&map, "Dep" + std::to_string(i));
        reg->SetProperty("pPort", "Port");
        reg->SetProperty("Address", std::to_string(0x1000 + 4 * i));
        reg->SetProperty("Length", "4");
        reg->SetProperty("AccessMode", "RW");
        reg->SetProperty("pInvalidator", "Trigger");
        reg->FinalConstruct();
        reg->GetValue();
        dependants.push_back(std::move(reg));
    }
    trigger.SetProperty("pPort", "Port");
    trigger.SetProperty("Address", "0x1F00");
    trigger.SetProperty("Length", "4");
    trigger.SetProperty("AccessMode", "RW");
    trigger.FinalConstruct();
    for (auto& reg : dependants) {
        NodeList_t path;
        reg->CollectDependants(path);
    }
    if (trigger.GetDependants().size() != 50)
        state.SkipWithError("expected 50 dependants");
    for (auto _ : state)
        trigger.SetChanged(true);
}
BENCHMARK(BM_SetChangedWith50Dependants);

// Filling a map: 1,000 register nodes entered, given 5 properties, finished.
void BM_FillMap1000NodesWith5Properties(benchmark::State& state) {
    std::vector<std::string> names = NodeNames(1000);
    std::vector<std::string> addresses;
    for (int i = 0; i < 1000; ++i)
        addresses.push_back(std::to_string(0x1000 + 4 * i));
    MemoryPort memory(0x1000, 0x1000);
    for (auto _ : state) {
        CNodeMap map;
        CPort port;
        port.SetPortImpl(&memory);
        port.SetNodeMap(&map, "Port");
        std::vector<std::unique_ptr<CIntReg>> nodes(1000);
        for (int i = 0; i < 1000; ++i) {
            nodes[i] = std::make_unique<CIntReg>();
            nodes[i]->SetNodeMap(&map, names[i]);
        }
        for (int i = 0; i < 1000; ++i) {
            CIntReg& n = *nodes[i];
            n.SetProperty("pPort", "Port");
            n.SetProperty("Address", addresses[i]);
            n.SetProperty("Length", "4");
            n.SetProperty("AccessMode", "RW");
            n.SetProperty("Sign", "Unsigned");
        }
        for (auto& n : nodes)
            n->FinalConstruct();
        benchmark::DoNotOptimize(map.GetNode(names[500]));
    }
}
BENCHMARK(BM_FillMap1000NodesWith5Properties)->Unit(benchmark::kMicrosecond);

} // namespace
