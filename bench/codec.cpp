// Cost of the codec on the polling path (two replies decoded per projector and pass) and of
// the records a page builds. Usage: bench_codec [benchmark flags]
#include <benchmark/benchmark.h>

#include <string>

#include "protocol/codec.h"

namespace {

using namespace vistrel;

const std::string kInfo =
    "<return>\n<info>OK"
    "1"
    "0123"
    "05"
    "A123"
    "4";
const std::string kGroup =
    "<return>\n<group>"
    "Lab" +
    std::string(29, ' ') + "P1" + std::string(30, ' ');
const std::string kControl = "<return>\n<control>" + std::string(58, '1');

void BM_ParseInfoReply(benchmark::State& state) {
    Info info("AABBCCDDEEFF");
    for (auto _ : state) {
        ParseInfoReply(kInfo, info);
        benchmark::DoNotOptimize(info);
    }
}
BENCHMARK(BM_ParseInfoReply);

void BM_ParseGroupReply(benchmark::State& state) {
    Info info("AABBCCDDEEFF");
    for (auto _ : state) {
        ParseGroupReply(kGroup, info);
        benchmark::DoNotOptimize(info);
    }
}
BENCHMARK(BM_ParseGroupReply);

void BM_ReadControlReply(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadControlReply(kControl));
}
BENCHMARK(BM_ReadControlReply);

void BM_BuildGroupRecord(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildGroupRecord("Lab", "P1"));
}
BENCHMARK(BM_BuildGroupRecord);

void BM_BuildAlertRecord(benchmark::State& state) {
    AlertSettings alert;
    alert.mailTo = "ops@example.org";
    alert.smtpServer = "smtp.example.org";
    alert.alertFanLock = 1;
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildAlertRecord(alert));
}
BENCHMARK(BM_BuildAlertRecord);

}  // namespace

BENCHMARK_MAIN();
