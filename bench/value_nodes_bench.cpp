// Value nodes: cached integer and boolean reads over bit-field registers and
// an enumeration's selectable symbolics; the baseline (a name lookup under a
// recursive lock) is BM_Baseline_MapLookupUnderLock in the same executable.
#include <benchmark/benchmark.h>

#include <string>

#include "nodeapi/Boolean.h"
#include "nodeapi/EnumEntry.h"
#include "nodeapi/Enumeration.h"
#include "nodeapi/Integer.h"
#include "nodeapi/MaskedIntReg.h"
#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::Properties;
using KacqTest::TestNodeMap;

namespace {

// A register space with its port node; fields are added on top.
struct Rig {
    MemoryPort memory{0x1000, 0x1000};
    TestNodeMap map;

    Rig() {
        memory.KeepLog(false);
        map.AddExternal(memory, "Memory");
        map.Add<CPort>("Port").SetPortImpl(&memory);
    }

    void AddField(const std::string& name, int64_t address, int lsb, int msb) {
        map.Add<CMaskedIntReg>(name, {{"pPort", "Port"},
                                      {"AccessMode", "RW"},
                                      {"Address", std::to_string(address)},
                                      {"Length", "4"},
                                      {"Sign", "Unsigned"},
                                      {"Endianess", "BigEndian"},
                                      {"LSB", std::to_string(lsb)},
                                      {"MSB", std::to_string(msb)}});
    }
};

void BM_Values_IntegerCachedReadOverMaskedRegister(benchmark::State& state) {
    Rig rig;
    rig.AddField("ShutterValueFao", 0x1100, 0, 11);
    auto& shutter = rig.map.Add<CInteger>(
        "Shutter", {{"pValue", "ShutterValueFao"}, {"Min", "1"}, {"Max", "4095"}});
    rig.map.Build();
    rig.memory.Poke32(0x1100, 0x82000123u);
    for (auto _ : state)
        benchmark::DoNotOptimize(shutter.GetValue());
    if (rig.memory.TotalReads() != 1 || shutter.GetValue() != 0x123)
        state.SkipWithError("the read did not come from the cache");
}
BENCHMARK(BM_Values_IntegerCachedReadOverMaskedRegister);

void BM_Values_BooleanRead(benchmark::State& state) {
    Rig rig;
    rig.AddField("TriggerOnOffFao", 0x1200, 25, 25);
    auto& flag = rig.map.Add<CBoolean>("TriggerEnable", {{"pValue", "TriggerOnOffFao"}});
    rig.map.Build();
    rig.memory.Poke32(0x1200, 0x82000000u);
    for (auto _ : state)
        benchmark::DoNotOptimize(flag.GetValue());
    if (rig.memory.TotalReads() != 1 || !flag.GetValue())
        state.SkipWithError("the read did not come from the cache");
}
BENCHMARK(BM_Values_BooleanRead);

// 18 entries, each enabled by its own bit of one inquiry register; every
// other entry is disabled.
void BM_Values_EnumerationGetSymbolics18(benchmark::State& state) {
    Rig rig;
    rig.AddField("ColorCodingReg", 0x1300, 24, 31);
    Properties enumeration{{"pValue", "ColorCodingReg"}};
    for (int i = 0; i < 18; ++i) {
        const std::string symbolic = "Coding" + std::to_string(i);
        const std::string inquiry = "ColorCodingInq" + std::to_string(i);
        rig.AddField(inquiry, 0x1304, 31 - i, 31 - i);
        const std::string entry = "EnumEntry_ColorCoding_" + symbolic;
        rig.map.Add<CEnumEntry>(
            entry, {{"Value", std::to_string(i)}, {"Symbolic", symbolic}, {"pIsEnabled", inquiry}});
        enumeration.emplace_back("pEnumEntry", entry);
    }
    auto& coding = rig.map.Add<CEnumerationBase>("ColorCoding", enumeration);
    rig.map.Build();
    rig.memory.Poke32(0x1304, 0xAAAAA000u);
    StringList_t symbolics;
    // Each field's first address computation drops the shared cache entry,
    // so the first call reads the register once per field; later calls are
    // served from the cache.
    coding.GetSymbolics(symbolics);
    rig.memory.ResetCounts();
    for (auto _ : state) {
        coding.GetSymbolics(symbolics);
        benchmark::DoNotOptimize(symbolics.data());
    }
    if (symbolics.size() != 9 || rig.memory.TotalReads() != 0) {
        const std::string error = "unexpected: " + std::to_string(symbolics.size()) +
                                  " symbolics, " + std::to_string(rig.memory.TotalReads()) +
                                  " register reads";
        state.SkipWithError(error.c_str());
    }
}
BENCHMARK(BM_Values_EnumerationGetSymbolics18);

} // namespace
