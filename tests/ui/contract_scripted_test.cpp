#include "support/contract_suite.h"
#include "backends/scripted/scripted_window_system.h"

INSTANTIATE_TEST_SUITE_P(Scripted, WindowSystemContract,
                         ::testing::Values(ContractFactory([]() -> std::unique_ptr<tv::WindowSystem> {
                             return std::make_unique<tv::ScriptedWindowSystem>();
                         })));
