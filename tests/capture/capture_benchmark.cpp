// The cost of one capture tick over the fakes, and of building a Binding's name.
//   ./build/host/tests/keyconfig_benchmark
#include "capture/binding_name.h"
#include "capture/capture.h"

#include "fake_dinput.h"
#include "fake_windows.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

void SetUpDialog() {
    ReleaseInput();
    fake::TheDirectInput().Reset();
    fake::TheDesktop().Reset();
    InitInput(fake::Instance(), fake::TheDesktop().Dialog());
    fake::TheDesktop().Focus(1003);
}

void BM_CaptureStepNothingDown(benchmark::State& state) {
    SetUpDialog();
    for (auto _ : state) {
        CaptureStep(fake::TheDesktop().Dialog());
        fake::TheDirectInput().ClearRecord();
    }
    ReleaseInput();
}
BENCHMARK(BM_CaptureStepNothingDown);

void BM_CaptureStepKeyDown(benchmark::State& state) {
    SetUpDialog();
    fake::TheDirectInput().keyboard[DIK_UP] = 0x80;
    for (auto _ : state) {
        CaptureStep(fake::TheDesktop().Dialog());
        fake::TheDirectInput().ClearRecord();
    }
    ReleaseInput();
}
BENCHMARK(BM_CaptureStepKeyDown);

void BM_FormatBindingName(benchmark::State& state) {
    const Binding bindings[] = {{0, 30}, {0, 141}, {0, 200}, {1, 4}, {99, 255}, {0, 250}};
    std::size_t i = 0;
    for (auto _ : state) {
        BindingName name = FormatBindingName(bindings[i++ % 6]);
        benchmark::DoNotOptimize(name);
    }
}
BENCHMARK(BM_FormatBindingName);

} // namespace

BENCHMARK_MAIN();
