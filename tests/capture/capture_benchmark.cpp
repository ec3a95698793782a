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

// One tick with the given key held (0: nothing down). While a key stays held the hold filter
// stops it after the first tick, so this is the steady cost of a tick, not of storing.
void BM_CaptureStep(benchmark::State& state) {
    SetUpDialog();
    const int key = static_cast<int>(state.range(0));
    if (key != 0) {
        fake::TheDirectInput().keyboard[key] = 0x80;
    }
    for (auto _ : state) {
        CaptureStep(fake::TheDesktop().Dialog());
        fake::TheDirectInput().ClearRecord();
    }
    ReleaseInput();
}
BENCHMARK(BM_CaptureStep)->ArgName("key")->Arg(0)->Arg(DIK_UP);

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
