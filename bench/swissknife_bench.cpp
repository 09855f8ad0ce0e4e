// Formula node reads: a CIntSwissKnife over two cached register fields,
// against its parts done by hand (the two register reads, one evaluation
// with a ready variable table).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "nodeapi/FormulaParser.h"
#include "nodeapi/IntReg.h"
#include "nodeapi/IntSwissKnife.h"
#include "nodeapi/MaskedIntReg.h"
#include "nodeapi/NameTable.h"
#include "nodeapi/Port.h"
#include "nodeapi/SwissKnife.h"
#include "support/MemoryPort.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::TestNodeMap;

namespace {

constexpr const char* kFlag = "((MASKEDREG & 0x8E) = 0x8E) && (FREG = 1) ";

// An availability flag as the camera description computes it: a masked
// inquiry field and a whole register, both cachable, in an in-memory space.
struct FlagMap {
    FlagMap() : memory(0x1000, 0x100) {
        memory.KeepLog(false);
        memory.Poke32(0x1000, 0x8E000000);
        memory.Poke32(0x1004, 1);
        map.AddExternal(memory, "Memory");
        map.Add<CPort>("Port").SetPortImpl(&memory);
        map.Add<CMaskedIntReg>("Inq", {{"pPort", "Port"},
                                       {"AccessMode", "RO"},
                                       {"Address", "0x1000"},
                                       {"Length", "4"},
                                       {"Sign", "Unsigned"},
                                       {"Endianess", "BigEndian"},
                                       {"LSB", "24"},
                                       {"MSB", "31"}});
        map.Add<CIntReg>("Flag", {{"pPort", "Port"},
                                  {"AccessMode", "RW"},
                                  {"Address", "0x1004"},
                                  {"Length", "4"},
                                  {"Sign", "Unsigned"},
                                  {"Endianess", "BigEndian"}});
        map.Add<CIntSwissKnife>(
            "Available",
            {{"Formula", kFlag}, {"pVariable", "MASKEDREG=Inq"}, {"pVariable", "FREG=Flag"}});
        map.Build();
    }
    MemoryPort memory;
    TestNodeMap map;
};

void BM_IntSwissKnife_Read_TwoCachedRegisters(benchmark::State& state) {
    FlagMap flags;
    auto& knife = flags.map.Get<CIntSwissKnife>("Available");
    if (knife.GetValue() != 1) // fills the value cache
        state.SkipWithError("unexpected flag value");
    const int reads = flags.memory.TotalReads();
    for (auto _ : state)
        benchmark::DoNotOptimize(knife.GetValue());
    if (flags.memory.TotalReads() != reads)
        state.SkipWithError("registers were not served from the cache");
}
BENCHMARK(BM_IntSwissKnife_Read_TwoCachedRegisters);

// Baseline: the same work without the formula node around it — the two
// register reads, a table with their values and one evaluation.
void BM_IntSwissKnife_Baseline_PartsByHand(benchmark::State& state) {
    FlagMap flags;
    auto& inq = flags.map.Get<CIntReg>("Inq");
    auto& flag = flags.map.Get<CIntReg>("Flag");
    CIntFormulaParser parser;
    CNameTable table(sizeof(int64_t));
    int64_t result = 0;
    inq.GetValue();
    flag.GetValue();
    for (auto _ : state) {
        table.Clear();
        table.AddValue<int64_t>("FREG", flag.GetValue());
        table.AddValue<int64_t>("MASKEDREG", inq.GetValue());
        parser.SetVariables(&table);
        benchmark::DoNotOptimize(parser.Evaluate(kFlag, result));
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_IntSwissKnife_Baseline_PartsByHand);

// The float formula node with its input, as CInteger's physical view uses it.
void BM_SwissKnife_ReadWithInput(benchmark::State& state) {
    TestNodeMap map;
    auto& knife =
        map.Add<CSwissKnife>("ToPhysical", {{"Formula", "RAW*20/1000000"}, {"Input", "RAW"}});
    map.Build();
    double raw = 0;
    for (auto _ : state) {
        raw += 1;
        benchmark::DoNotOptimize(knife.GetValueWithInput(raw));
    }
}
BENCHMARK(BM_SwissKnife_ReadWithInput);

} // namespace
