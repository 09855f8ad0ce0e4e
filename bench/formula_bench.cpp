// Formula evaluation speed: both evaluator variants on typical feature
// formulas, against the same arithmetic compiled in C++ over a name lookup
// and, where it is installed, muparser setting and evaluating the same text.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <string>

#include "nodeapi/FormulaParser.h"
#include "nodeapi/NameTable.h"

#if defined(KACQ_HAVE_MUPARSER)
#include <muParser.h>
#endif

using namespace NodeApi;

namespace {

constexpr const char* kScaled = "BASE*VALUE/1024.0";
constexpr const char* kFlag = "((MASKEDREG & 0x8E) = 0x8E) && (FREG = 1) ";
// Masked to 31 bits: both variants take only 32-bit signed operands for "&".
constexpr const char* kAddress = "(A + B * 4) & 0x7FFFFFFF";

template <typename Parser, typename T>
void EvaluateLoop(benchmark::State& state, const char* formula, const CNameTable& vars) {
    Parser parser;
    parser.SetVariables(&vars);
    T result{};
    for (auto _ : state) {
        const char* message = parser.Evaluate(formula, result);
        benchmark::DoNotOptimize(message);
        benchmark::DoNotOptimize(result);
    }
    if (parser.Evaluate(formula, result) != nullptr) {
        state.SkipWithError("formula failed");
    }
}

void BM_Formula_Float_Scaled(benchmark::State& state) {
    CNameTable vars;
    vars.AddValue<double>("BASE", 3.5);
    vars.AddValue<double>("VALUE", 200);
    EvaluateLoop<CFormulaParser, double>(state, kScaled, vars);
}
BENCHMARK(BM_Formula_Float_Scaled);

void BM_Formula_Int_Flag(benchmark::State& state) {
    CNameTable vars;
    vars.AddValue<int64_t>("MASKEDREG", 0x8E);
    vars.AddValue<int64_t>("FREG", 1);
    EvaluateLoop<CIntFormulaParser, int64_t>(state, kFlag, vars);
}
BENCHMARK(BM_Formula_Int_Flag);

void BM_Formula_Float_Address(benchmark::State& state) {
    // The floating variant's bit operations take 32-bit signed operands.
    CNameTable vars;
    vars.AddValue<double>("A", 0x0F00000);
    vars.AddValue<double>("B", 0x100);
    EvaluateLoop<CFormulaParser, double>(state, kAddress, vars);
}
BENCHMARK(BM_Formula_Float_Address);

void BM_Formula_Int_Address(benchmark::State& state) {
    CNameTable vars;
    vars.AddValue<int64_t>("A", 0x0F00000);
    vars.AddValue<int64_t>("B", 0x100);
    EvaluateLoop<CIntFormulaParser, int64_t>(state, kAddress, vars);
}
BENCHMARK(BM_Formula_Int_Address);

// What a formula node does per read: a fresh variable table with two values,
// then one evaluation.
void BM_Formula_Int_FlagWithFreshTable(benchmark::State& state) {
    CIntFormulaParser parser;
    int64_t result = 0;
    for (auto _ : state) {
        CNameTable vars;
        vars.AddValue<int64_t>("FREG", 1);
        vars.AddValue<int64_t>("MASKEDREG", 0x8E);
        parser.SetVariables(&vars);
        benchmark::DoNotOptimize(parser.Evaluate(kFlag, result));
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_Formula_Int_FlagWithFreshTable);

// Baseline: the same arithmetic compiled, its operands looked up by name.
void BM_Formula_Baseline_ScaledCompiled(benchmark::State& state) {
    std::map<std::string, double> vars{{"BASE", 3.5}, {"VALUE", 200}};
    for (auto _ : state) {
        benchmark::DoNotOptimize(vars);
        const double result = vars.find("BASE")->second * vars.find("VALUE")->second / 1024.0;
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_Formula_Baseline_ScaledCompiled);

void BM_Formula_Baseline_FlagCompiled(benchmark::State& state) {
    std::map<std::string, int64_t> vars{{"MASKEDREG", 0x8E}, {"FREG", 1}};
    for (auto _ : state) {
        benchmark::DoNotOptimize(vars);
        const int64_t result =
            ((vars.find("MASKEDREG")->second & 0x8E) == 0x8E) && (vars.find("FREG")->second == 1);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_Formula_Baseline_FlagCompiled);

#if defined(KACQ_HAVE_MUPARSER)
// Peer: muparser given the expression and evaluating it once per iteration,
// the same work as one of our evaluations. It lacks "&" and hexadecimal
// numbers, so "&" is added as an operator and the constants are decimal.
double BitAnd(double a, double b) {
    return static_cast<double>(static_cast<int64_t>(a) & static_cast<int64_t>(b));
}

void MuparserLoop(benchmark::State& state, const char* expression,
                  std::map<std::string, double>& vars) {
    try {
        mu::Parser parser;
        parser.DefineOprt("&", BitAnd, mu::prADD_SUB + 1);
        for (auto& v : vars) {
            parser.DefineVar(v.first, &v.second);
        }
        double result = 0;
        for (auto _ : state) {
            parser.SetExpr(expression);
            result = parser.Eval();
            benchmark::DoNotOptimize(result);
        }
    } catch (const mu::Parser::exception_type& e) {
        state.SkipWithError(e.GetMsg().c_str());
    }
}

void BM_Formula_Muparser_Scaled(benchmark::State& state) {
    std::map<std::string, double> vars{{"BASE", 3.5}, {"VALUE", 200}};
    MuparserLoop(state, "BASE*VALUE/1024.0", vars);
}
BENCHMARK(BM_Formula_Muparser_Scaled);

void BM_Formula_Muparser_Flag(benchmark::State& state) {
    std::map<std::string, double> vars{{"MASKEDREG", 0x8E}, {"FREG", 1}};
    MuparserLoop(state, "((MASKEDREG & 142) == 142) && (FREG == 1) ", vars);
}
BENCHMARK(BM_Formula_Muparser_Flag);

void BM_Formula_Muparser_Address(benchmark::State& state) {
    std::map<std::string, double> vars{{"A", 0x0F00000}, {"B", 0x100}};
    MuparserLoop(state, "(A + B * 4) & 2147483647", vars);
}
BENCHMARK(BM_Formula_Muparser_Address);
#endif

} // namespace
